#pragma once
// Which code page a table's text is really in. The header names one, and legacy tables
// often name the wrong one: the text of alpha and memo fields is scored in each
// candidate code page. A byte the code page leaves undefined, or reads as a control
// character, rules it out; among the rest the letter pairs of the languages written
// in that code page (cpbigrams.inc) and the shape of the words pick the most plausible.
// The header's code page is never replaced silently: the guess is offered.

#include <string>
#include <vector>

namespace korvane {

class TPdx;

struct TCodePageScore {
  int CodePage = 0;
  bool RuledOut = false;  // bytes it leaves undefined or reads as control characters
  double Score = 0;       // higher is more plausible
};

struct TCodePageGuess {
  enum TVerdict {
    cgNoClue,   // no text outside ASCII: every candidate reads it alike
    cgAgrees,   // the header's code page is (one of) the most plausible
    cgBetter,   // CodePage clearly beats the header's
    cgUnsure,   // the header's is beaten, but no candidate clearly wins
  };
  TVerdict Verdict = cgNoClue;
  int HeaderCodePage = 0;
  int CodePage = 0;             // the guess (cgBetter), else the header's
  size_t TextBytes = 0;         // bytes of text examined
  std::vector<TCodePageScore> Scores;  // best first

  // "1251 (Windows Cyrillic (1251))", "unsure", "agrees", "no text outside ASCII".
  std::string Describe() const;
};

// The code pages tried besides the header's and the language driver's.
const std::vector<int>& CodePageCandidates();

// Scores text samples (alpha values, memo text) given as stored.
TCodePageGuess GuessCodePageOfText(const std::vector<std::string>& samples, int headerCodePage, int driverCodePage);

// Reads up to a few MB of the alpha and memo text of an open table (from a cursor of
// its own on the same file) and scores it. headerCodePage is what the table is read as.
TCodePageGuess GuessCodePage(const std::string& tablePath, int headerCodePage, int driverCodePage);

}  // namespace korvane
