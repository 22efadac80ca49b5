// Language driver table, detection and recoding.

#include "engine/language.h"

#include "engine/conv.h"

namespace korvane {

const TLanguageDriver LanguageDrivers[kLanguageDriverCount + 1] = {
    {"", 0x00, 0, ""},                                // 0: no driver
    {"Access General", 0xA1, 1252, "ACCGEN"},         // 1
    {"Access Greece", 0x35, 1253, "ACCGREEK"},        // 2
    {"Access Japanese", 0x31, 932, "ACCJAPAN"},       // 3
    {"Access Nord/Danish", 0x3A, 1251, "ACCNRDAN"},   // 4
    {"Access Swed/Finnish", 0x4E, 1252, "ACCSWFIN"},  // 5
    {"'ascii' ANSI", 0x4C, 1252, "DBWINUS0"},         // 6
    {"Borland ANSI Arabic", 0x3F, 1256, "BLWINAR0"},  // 7
    {"Borland DAN Latin-1", 0x14, 1252, "BLLT1DA0"},  // 8
    {"Borland DEU Latin-1", 0x18, 1252, "BLLT1DE0"},  // 9
    {"Borland ENG Latin-1", 0x2F, 1252, "BLLT1UK0"},  // 10
    {"Borland ENU Latin-1", 0x37, 1252, "BLLT1US0"},  // 11
    {"Borland ESP Latin-1", 0x27, 1252, "BLLT1ES0"},  // 12
    {"Borland FIN Latin-1", 0x1E, 1252, "BLLT1FI0"},  // 13
    {"Borland FRA Latin-1", 0x27, 1252, "BLLT1FR0"},  // 14
    {"Borland FRC Latin-1", 0x13, 1252, "BLLT1CA0"},  // 15
    {"Borland ISL Latin-1", 0x2B, 1252, "BLLT1IS0"},  // 16
    {"Borland ITA Latin-1", 0x2C, 1252, "BLLT1IT0"},  // 17
    {"Borland NLD Latin-1", 0x29, 1252, "BLLT1NL0"},  // 18
    {"Borland NOR Latin-1", 0x2C, 1252, "BLLT1NO0"},  // 19
    {"Borland PTG Latin-1", 0x33, 1252, "BLLT1PT0"},  // 20
    {"Borland SVE Latin-1", 0x38, 1252, "BLLT1SV0"},  // 21
    {"DB2 SQL ANSI DEU", 0x05, 1252, "db2andeu"},     // 22
    {"dBASE BUL 868", 0xB5, 868, "BGDB868"},          // 23
    {"dBASE CHS cp936", 0xE9, 936, "DB936CN0"},       // 24
    {"dBASE CHT cp950", 0xFF, 950, "DB950TW0"},       // 25
    {"dBASE CSY cp852", 0xF2, 852, "DB852CZ0"},       // 26
    {"dBASE CSY cp867", 0xF8, 867, "DB867CZ0"},       // 27
    {"dBASE DAN cp865", 0xDE, 865, "DB865DA0"},       // 28
    {"dBASE DEU cp437", 0xDD, 437, "DB437DE0"},       // 29
    {"dBASE DEU cp850", 0xDC, 850, "DB850DE0"},       // 30
    {"dBASE ELL GR437", 0x6D, 737, "db437gr0"},       // 31
    {"dBASE ENG cp437", 0xF4, 437, "DB437UK0"},       // 32
    {"dBASE ENG cp850", 0xF3, 850, "DB850UK0"},       // 33
    {"dBASE ENU cp437", 0xFC, 437, "DB437US0"},       // 34
    {"dBASE ENU cp850", 0xFB, 850, "DB850US0"},       // 35
    {"dBASE ESP cp437", 0xED, 437, "DB437ES1"},       // 36
    {"dBASE ESP cp850", 0xEB, 850, "DB850ES0"},       // 37
    {"dBASE FIN cp437", 0xE3, 437, "DB437FI0"},       // 38
    {"dBASE FRA cp437", 0xEC, 437, "DB437FR0"},       // 39
    {"dBASE FRA cp850", 0xEB, 850, "DB850FR0"},       // 40
    {"dBASE FRC cp850", 0xDC, 850, "DB850CF0"},       // 41
    {"dBASE FRC cp863", 0xE1, 863, "DB863CF1"},       // 42
    {"dBASE HUN cp852", 0x94, 852, "db852hdc"},       // 43
    {"dBASE ITA cp437", 0xF1, 437, "DB437IT0"},       // 44
    {"dBASE ITA cp850", 0xF1, 850, "DB850IT1"},       // 45
    {"dBASE JPN cp932", 0xEE, 932, "DB932JP0"},       // 46
    {"dBASE JPN Dic932", 0xEF, 932, "DB932JP1"},      // 47
    {"dBASE KOR cp949", 0xF6, 949, "DB949KO0"},       // 48
    {"dBASE NLD cp437", 0xEE, 437, "DB437NL0"},       // 49
    {"dBASE NLD cp850", 0xED, 850, "DB850NL0"},       // 50
    {"dBASE NOR cp865", 0xF6, 865, "DB865NO0"},       // 51
    {"dBASE PLK cp852", 0x74, 852, "db852po0"},       // 52
    {"dBASE PTB cp850", 0xF7, 850, "DB850PT0"},       // 53
    {"dBASE PTG cp860", 0xF8, 860, "DB860PT0"},       // 54
    {"dBASE RUS cp866", 0x81, 866, "db866ru0"},       // 55
    {"dBASE SLO cp852", 0x74, 852, "db852sl0"},       // 56
    {"dBASE SVE cp437", 0xFD, 437, "DB437SV0"},       // 57
    {"dBASE SVE cp850", 0xFD, 850, "DB850SV1"},       // 58
    {"dBASE THA cp874", 0x75, 874, "db874th0"},       // 59
    {"dBASE TRK cp857", 0x00, 857, "DB857TR0"},       // 60
    {"FoxPro Czech 1250", 0x78, 1250, "FOXCZWIN"},    // 61
    {"FoxPro Czech DOS895", 0x30, 895, "FOXCZ895"},   // 62
    {"FoxPro German 1252", 0x64, 1252, "FOXDEWIN"},   // 63
    {"FoxPro German 437", 0x14, 437, "FOXDE437"},     // 64
    {"FoxPro Nordic 1252", 0x78, 1252, "FOXNOWIN"},   // 65
    {"FoxPro Nordic 437", 0x28, 437, "FOXNO437"},     // 66
    {"FoxPro Nordic 850", 0x27, 850, "FOXNO850"},     // 67
    {"Hebrew dBASE", 0x23, 862, "dbHebrew"},          // 68
    {"MSSQL ANSI Greek", 0x7A, 1253, "MSSGRWIN"},     // 69
    {"Oracle SQL WE850", 0x1B, 850, "ORAWE850"},      // 70
    {"Paradox ANSI HEBREW", 0x4C, 1255, "ANHEBREW"},  // 71
    {"Paradox 'ascii'", 0x00, 437, "ascii"},          // 72
    {"Paradox BUL 868", 0x47, 868, "BULGARIA"},       // 73
    {"Paradox China 936", 0x03, 936, "china"},        // 74
    {"Paradox Cyrr 866", 0xC0, 866, "cyrr"},          // 75
    {"Paradox Czech 852", 0x0D, 852, "czech"},        // 76
    {"Paradox Czech 867", 0xE2, 867, "cskamen"},      // 77
    {"Paradox ESP 437", 0x16, 437, "SPANISH"},        // 78
    {"Paradox Greek GR437", 0x4A, 737, "grcp437"},    // 79
    {"Paradox 'hebrew'", 0x7D, 862, "hebrew"},        // 80
    {"Paradox Hun 852 DC", 0xB1, 852, "hun852dc"},    // 81
    {"Paradox 'intl'", 0xB7, 437, "intl"},            // 82
    {"Paradox 'intl' 850", 0x54, 850, "intl850"},     // 83
    {"Paradox ISL 861", 0xD0, 861, "iceland"},        // 84
    {"Paradox 'japan'", 0x0A, 932, "japan"},          // 85
    {"Paradox Korea 949", 0x12, 949, "korea"},        // 86
    {"Paradox 'nordan'", 0x82, 865, "nordan"},        // 87
    {"Paradox 'nordan40'", 0xE6, 865, "nordan40"},    // 88
    {"Paradox Polish 852", 0x8F, 852, "polish"},      // 89
    {"Paradox Slovene 852", 0xFC, 852, "slovene"},    // 90
    {"Paradox 'swedfin'", 0xF0, 437, "swedfin"},      // 91
    {"Paradox Taiwan 950", 0x84, 950, "taiwan"},      // 92
    {"Paradox Thai 874", 0xA6, 874, "thai"},          // 93
    {"Paradox 'turk'", 0xC6, 857, "turk"},            // 94
    {"Pdox ANSI Bulgaria", 0xE6, 1251, "BGPD1251"},   // 95
    {"Pdox ANSI Cyrillic", 0x8F, 1251, "ancyrr"},     // 96
    {"Pdox ANSI Czech", 0xDC, 1250, "anczech"},       // 97
    {"Pdox ANSI Greek", 0x0E, 1253, "angreek1"},      // 98
    {"Pdox ANSI Hun. DC", 0xE1, 1250, "anhundc"},     // 99
    {"Pdox ANSI Intl", 0x62, 1252, "ANSIINTL"},       // 100
    {"Pdox ANSI Intl850", 0x11, 1252, "ANSII850"},    // 101
    {"Pdox ANSI Nordan4", 0x4E, 1252, "ANSINOR4"},    // 102
    {"Pdox ANSI Polish", 0x5E, 1250, "anpolish"},     // 103
    {"Pdox ANSI Slovene", 0x6F, 1250, "ansislov"},    // 104
    {"Pdox ANSI Spanish", 0x5D, 1252, "ANSISPAN"},    // 105
    {"Pdox ANSI Swedfin", 0x69, 1252, "ANSISWFN"},    // 106
    {"Pdox ANSI Turkish", 0xD5, 1254, "ANTURK"},      // 107
    {"Pdox 'ascii' Japan", 0x00, 437, "ascii"},       // 108
    {"pdx ANSI Czech 'CH'", 0x53, 1250, "anczechw"},  // 109
    {"pdx ANSI ISO L_2 CZ", 0x2A, 1250, "anil2czw"},  // 110
    {"pdx Czech 852 'CH'", 0x84, 852, "czechw"},      // 111
    {"pdx Czech 867 'CH'", 0x59, 867, "cskamenw"},    // 112
    {"pdx ISO L_2 Czech", 0x5B, 592, "il2czw"},       // 113
    {"'Spanish' ANSI", 0x3C, 1252, "DBWINES0"},       // 114
    {"SQL Link ROMAN8", 0x14, 8, "BLROM800"},         // 115
    {"Sybase SQL Dic437", 0xD1, 437, "SYDC437"},      // 116
    {"Sybase SQL Dic850", 0xD0, 850, "SYDC850"},      // 117
    {"'WEurope' ANSI", 0x40, 1252, "DBWINWE0"},       // 118
};

int FindLanguage(int fileVersion, uint8_t sortOrder, uint16_t dosCodePage, const std::string& sortOrderName) {
  for (int i = 1; i <= kLanguageDriverCount; ++i) {
    const TLanguageDriver& d = LanguageDrivers[i];
    if (d.SortOrder != sortOrder) continue;
    if (fileVersion < 5) return i;
    if (d.CodePageNumber == dosCodePage && sortOrderName == d.DriverName) return i;
  }
  return 0;
}

std::string LanguageName(int index) {
  if (index < 1 || index > kLanguageDriverCount) return {};
  return LanguageDrivers[index].Name;
}

int LanguageIndexByName(const std::string& name) {
  for (int i = 1; i <= kLanguageDriverCount; ++i)
    if (name == LanguageDrivers[i].Name) return i;
  return 0;
}

std::string RecodeText(int languageIndex, const std::string& codepage, const std::string& text) {
  if (languageIndex < 1 || languageIndex > kLanguageDriverCount) return text;
  const uint16_t source = LanguageDrivers[languageIndex].CodePageNumber;
  if (source == 866) {
    if (codepage == "UTF-8") return ConvertText(encCp866, encUtf8, text);
    if (codepage == "KOI8R") return ConvertText(encCp866, encKoi8r, text);
    if (codepage == "CP1251") return ConvertText(encCp866, encCp1251, text);
  } else if (source == 1251) {
    if (codepage == "UTF-8") return ConvertText(encCp1251, encUtf8, text);
    if (codepage == "KOI8R") return ConvertText(encCp1251, encKoi8r, text);
  }
  return text;
}

}  // namespace korvane
