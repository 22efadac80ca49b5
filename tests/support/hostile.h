#pragma once
// Hostile tables: tables written by the project's own writer, then patched into the
// shapes a damaged or malicious file takes (lying BLOB leaders, memo files that are no
// files, names that never end).

#include <cstdint>
#include <string>

namespace korvane::test {

// A table of `records` records with the fields Id (long), Memo (memo, slot 20) and Pic
// (binary, slot 20). Every record has a memo of 5000 bytes and a picture of 6000 bytes,
// each in a memo block of its own; record 2 (when there is one) also keeps a short memo
// of 100 bytes in a shared block instead. Answers the .db path; the .mb lies beside it.
std::string MakeBlobTable(int records = 3);
// The memo file of a table written by MakeBlobTable.
std::string MemoPathOf(const std::string& dbPath);
// Field numbers (0-based) of MakeBlobTable's table.
constexpr int kBlobTableMemo = 1;
constexpr int kBlobTablePic = 2;
// Sets the length in the leader of field (0-based) of record (0-based, all in block 1).
void PatchLeaderLength(const std::string& dbPath, int record, int field, uint32_t length);
// Sets the stored count of 4 KB blocks in the header of the memo block a leader points at.
void PatchMemoBlockCount(const std::string& dbPath, int record, int field, uint16_t blocks);

// What stands where the memo file should be.
enum class TMemoStandIn { Fifo, Directory, LinkToDevZero };
void ReplaceMemoFile(const std::string& dbPath, TMemoStandIn what);

// A table whose field names are given as they are stored (any bytes but NUL); the
// first field is a long, the second an alpha of 10 of type code `secondType`.
std::string MakeNamedTable(const std::string& firstName, const std::string& secondName, uint8_t secondType = 1);
// The same table with its header cut inside the second name, so that the name has no
// terminating NUL before the data blocks (whose bytes are not zero).
std::string MakeUnendedNameTable();

}  // namespace korvane::test
