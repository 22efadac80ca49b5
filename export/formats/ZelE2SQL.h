#pragma once
// SQL script: the settings of the format. The wizard's SQL step edits them and
// export settings files keep them in their [SQL] section.

#include <string>
#include <vector>

#include "export/ZelESettings.h"

namespace korvane {

enum TZelEFieldCharCase : int { ecNormal = 0, ecUpperCase, ecLowerCase, ecProper };

struct TZelESQLOptions {
  bool AddCreateTable = false;
  std::string CommitTerm = "COMMIT;";
  int BatchRecCount = 2147483647;
  TZelEFieldCharCase FieldNameCharCase = ecNormal;
  bool MultiRowInsert = false;
  char SQLQuote = '"';  // 0: none
  std::string SQLTerm = ";";
  std::string SQLNULL = "NULL";
  bool operator==(const TZelESQLOptions&) const = default;

  static constexpr const char* kSection = "SQL";
  static constexpr bool kBlankLineBefore = false;
  static const std::vector<TZelESettingKey<TZelESQLOptions>>& Keys() {
    using S = TZelESQLOptions;
    static const std::vector<TZelESettingKey<S>> keys = {
        TextKey("SQLTerm", &S::SQLTerm),
        CharKey("SQLQuote", &S::SQLQuote),
        TextKey("SQLNULL", &S::SQLNULL),
        TextKey("CommitTerm", &S::CommitTerm),
        IntKey("BatchRecCount", &S::BatchRecCount, 0, 2147483647),
        BoolKey("AddCreateTable", &S::AddCreateTable),
        BoolKey("MultiRowInsert", &S::MultiRowInsert),
        OrdinalKey("FieldNameCharCase", &S::FieldNameCharCase, {"normal", "upper", "lower", "proper"}),
    };
    return keys;
  }
};

}  // namespace korvane
