#pragma once
// Fixture tables for tests, written by the project's own table writer into fresh
// temporary folders, and byte patches for the broken files only raw bytes can make.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/pdxgenerate.h"

namespace korvane {
class TPdx;
}

namespace korvane::test {

// Opens the table; answers the message of the error that refused it ("" when it opened).
std::string OpenError(TPdx& t);

// Writes a table into a fresh temporary folder; answers the path of the .db file
// (its .mb lies beside it when the table has BLOB fields).
std::string MakeTable(const std::vector<TPdxWriterField>& fields, const std::vector<TWriterRow>& rows,
                      const TPdxWriterOptions& options = {}, const std::string& fileName = "fixture.db");
// The same with the fields in the field spec syntax of `korvane-cli generate` ("A20,I,N,M40").
std::string MakeTable(const std::string& fieldSpec, const std::vector<TWriterRow>& rows,
                      const TPdxWriterOptions& options = {}, const std::string& fileName = "fixture.db");
// A table of generated records (deterministic for a seed, as `korvane-cli generate` makes them).
std::string MakeGeneratedTable(const std::string& fieldSpec, uint32_t records, uint64_t seed = 1,
                               const TPdxWriterOptions& options = {},
                               const std::string& fileName = "generated.db");

// One field of every type the reader decodes, and rows holding values, boundary
// values, negatives and nulls (text in cp1252). Row 1 has a value in every field.
struct TAllTypes {
  std::vector<TPdxWriterField> Fields;
  std::vector<TWriterRow> Rows;
};
TAllTypes AllTypesFixture();
// The all-types table in a fresh folder (file version 12 unless given).
std::string MakeAllTypesTable(int fileVersion = 12, int blockSizeKB = 2);

// Raw edits of a written file, for broken-file cases.
void PatchBytes(const std::string& path, uint64_t offset, const std::string& bytes);
void PatchLe16(const std::string& path, uint64_t offset, uint16_t value);
void PatchLe32(const std::string& path, uint64_t offset, uint32_t value);
void TruncateFile(const std::string& path, uint64_t size);
// File offset of data block n (1-based) of a table, from its header.
uint64_t BlockOffset(const std::string& dbPath, int block);
// Offset of record i (0-based) of data block n, from its header.
uint64_t RecordOffset(const std::string& dbPath, int block, int record);

}  // namespace korvane::test
