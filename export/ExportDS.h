#pragma once
// The export component base: settings shared by every format, value formatting,
// the skeleton of a run (Execute), statistics, progress, the final messages and
// the action after export.
//
// Every field-to-text conversion of a run uses the run's own format settings
// (TZelERunFormat, built from DataFormats when the run begins and passed
// explicitly); nothing process-wide is changed by a run.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dataset.h"
#include "engine/grid.h"
#include "export/ZelEEngine.h"
#include "export/ZelELang.h"
#include "export/ZelEPlatform.h"
#include "export/ZelEStat.h"
#include "export/ZelESettings.h"
#include "export/ZelETypes.h"

namespace korvane {

// Text of a run that found no records with ExportIfEmpty off ("%s" = file name).
extern const char kZelENothingExported[];
// Text of a run that wrote its file without a single record ("%s" = file name).
extern const char kZelENoRecordWritten[];
// A completed run that had to change or leave out values (the notes say which).
extern const char kZelEWrittenWithChanges[];

// How dates, times, numbers and booleans become text, independent of the user's
// regional settings.
struct TZelEDataFormats {
  TZelEDateOrder DateOrder = doMDY;
  char DateSeparator = '/';  // 0 = none
  char TimeSeparator = ':';  // 0 = none
  bool FourDigitYear = true;
  bool LeadingZerosInDate = false;
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  std::string CurrencyString = "$";
  std::string CustomDateTimeFormat;
  std::string BooleanTrue = "True";
  std::string BooleanFalse = "False";
  bool UseRegionalSettings = false;

  // A new object holds the values of the default regional settings; the viewer
  // and the command line configure the values of MainWindowDefaults().
  static TZelEDataFormats MainWindowDefaults();
  // Fills the object from regional settings (short date format, separators,
  // currency symbol). BooleanTrue, BooleanFalse and UseRegionalSettings stay.
  void LoadRegionalSettings(const TFormatSettings& regional);
  // Patterns in the date-format letters (D, M, Y, HH, NN, SS): "DD/MM/YY".
  std::string GetDateFormat() const;
  std::string GetTimeFormat() const;
  std::string GetDateTimeFormat() const;
  bool operator==(const TZelEDataFormats&) const = default;
};

// A date-format pattern made ready once and applied to many values: gives the
// same text as FormatDateTime(pattern, dt, settings). Patterns with names,
// nested formats or am/pm markers, and dates outside the years 1 to 9999 (which
// FormatDateTime writes as dump does), are handed to FormatDateTime itself.
class TZelEDateFormatter {
 public:
  TZelEDateFormatter() = default;
  // fallback: the pattern FormatDateTime is given when this one cannot be made
  // ready (DateToStr's "ddddd" for the short date format, say); empty: pattern.
  TZelEDateFormatter(const std::string& pattern, const TFormatSettings& settings, const std::string& fallback = {});
  void Append(std::string& out, TDateTime dt) const;
  bool Compiled() const { return compiled_; }

 private:
  struct TPiece {
    char Kind;  // Y M D H N S Z, or L for literal text
    int Width;
    std::string Text;
  };
  std::string pattern_;  // given to FormatDateTime when not compiled
  const TFormatSettings* fs_ = nullptr;
  std::vector<TPiece> pieces_;
  bool compiled_ = false;
  bool needDate_ = false, needTime_ = false;
};

// The format settings of one run: the regional settings with the separators and
// currency symbol of DataFormats, and the date and time patterns ready for
// FormatDateTime. Field texts of the run are made with it.
class TZelERunFormat {
 public:
  TZelERunFormat(const TZelEDataFormats& formats, const TFormatSettings& regional);
  // The formatters point into this object.
  TZelERunFormat(const TZelERunFormat&) = delete;
  TZelERunFormat& operator=(const TZelERunFormat&) = delete;
  const TFormatSettings& Settings() const { return fs_; }
  const TZelEDataFormats& Formats() const { return df_; }

  // The one place where a field value becomes text. Null values give the empty
  // text; no stored digit is lost (numbers with their shortest exact digits,
  // currency with at least its decimals, times with milliseconds that are not
  // 0); dates outside the years 1 to 9999 as dump writes them.
  // The plain text follows the regional settings alone (the value as the
  // user's locale writes it); the display text follows DataFormats: its
  // separators, currency symbol and the date, time and date-time patterns
  // (a time stamp at midnight by the date pattern).
  // Both give memo text as stored (a NUL byte as "\x00"), formatted memos and
  // binary data (pictures, OLE, bytes) as dump writes them: escaped text and
  // lower-case hex.
  void PlainText(const TField& field, std::string& out) const;
  void DisplayText(const TField& field, std::string& out) const;
  // A date, time or date-time by the patterns of DataFormats.
  std::string FormatDate(TDateTime dt) const;
  std::string FormatTime(TDateTime dt) const;
  std::string FormatDateTime(TDateTime dt) const;
  // A variant as text (values of engines that are not bound to a dataset), in
  // the plain or the display form.
  std::string VariantText(const TVariant& v, bool display) const;
  // Whether a value has a time of day (milliseconds count).
  static bool HasTime(TDateTime dt);
  // Whether a pattern shows a time of day (hours, minutes, seconds, ...).
  static bool PatternShowsTime(const std::string& pattern);

 private:
  void FieldText(const TField& field, std::string& out, bool display) const;
  void BlobText(const TField& field, std::string& out) const;

  TZelEDataFormats df_;
  TFormatSettings fs_;     // regional settings with the separators of DataFormats
  TFormatSettings plain_;  // the regional settings as they are
  std::string datePattern_, timePattern_, dateTimePattern_;
  // The patterns above (and with milliseconds), and the regional short date and
  // long time formats that plain texts use.
  TZelEDateFormatter date_, time_, timeMs_, dateTime_, dateTimeMs_, shortDate_, longTime_, longTimeMs_;
  mutable std::string alpha_;  // destination of alpha values
};

struct TZelEStatistic {
  int TotalCount = 0;   // rows the run will write: header + titles + records + footer
  int TotalErrors = 0;  // values the run could not write as they were read
  int UpdateStep = 1;   // the progress window considers only multiples of it (<= 0: every record)
  TZelEResult Result = erInProgress;
  // Run state.
  int CurrentRow = 0;   // output row within the current file, from 0
  int CurrentCol = 0;   // output column of the cell being written, from 0
  uint8_t Section = 0;  // 0 header, 1 band row, 2 title row, 3 data, 4 footer, 5 detail levels
  int LevelNumber = 0;
  const TZelEDataLevel* CurrentLevel = nullptr;
  // What the last run did.
  int RecordsExported = 0;
  std::vector<std::string> FilesWritten;  // files that exist after the run
  std::string Message;                    // the final or error text
  // What the run changed or could not write whole, one sentence each; added to
  // the final text of a completed run.
  std::vector<std::string> Notes;
};

struct TZelESendTo {
  std::string EMailRecipient, EMailCC, EMailBCC, EMailSubject, EMailBody;
  bool EMailOpenBeforeSend = true;
  bool operator==(const TZelESendTo&) const = default;
};

// Row colour style: setting the style loads both colours.
class TZelExportStyle {
 public:
  TZelEStyle Style() const { return style_; }
  void SetStyle(TZelEStyle s);
  TColor OddColor = 0xFF000005;
  TColor EvenColor = 0xFF000005;
  // The background of output row r under the style (only when Style != esNormal).
  TColor RowColor(int row) const { return (row % 2) ? OddColor : EvenColor; }
  bool operator==(const TZelExportStyle&) const = default;

 private:
  TZelEStyle style_ = esNormal;
};

struct TZelEPageSetup {
  TZelEMeasure Measure = emPoint;
  bool UseDefault = true;
  float TopMargin = 0, BottomMargin = 0, LeftMargin = 0, RightMargin = 0;
  int Zoom = 100;
  int FitToPagesWide = 1, FitToPagesTall = 1;
  float TableWidth = 0;
  TZelEOrientation Orientation = emDefault;
  bool operator==(const TZelEPageSetup&) const = default;
};

class TZelECustomBaseComponent;
class TZelExportBaseComponent;

// Event types; the sender comes first.
using TZelELanguageEvent = std::function<void(TZelECustomBaseComponent&, int id, std::string& text)>;
using TZelEAcceptEvent = std::function<void(TZelECustomBaseComponent&, bool& accept)>;
using TZelEAbortEvent = std::function<void(TZelECustomBaseComponent&, bool& abort)>;
using TZelENotifyEvent = std::function<void(TZelECustomBaseComponent&)>;
using TZelEFileNameEvent = std::function<void(TZelECustomBaseComponent&, int fileNumber, std::string& fileName)>;
using TZelEProgressEvent = std::function<void(TZelECustomBaseComponent&, int cur, int max, bool& abort)>;
using TZelECellParamsEvent =
    std::function<void(TZelECustomBaseComponent&, const TField* field, std::string& text, TFontSpec& font,
                       TAlignment& alignment, TColor& background, TCellType& cellType)>;
using TZelESpecEvent = std::function<void(TZelECustomBaseComponent&, std::string& fileName)>;

class TZelECustomBaseComponent {
 public:
  TZelECustomBaseComponent();
  virtual ~TZelECustomBaseComponent();
  TZelECustomBaseComponent(const TZelECustomBaseComponent&) = delete;
  TZelECustomBaseComponent& operator=(const TZelECustomBaseComponent&) = delete;

  // The desktop services of this component (silent ones until set; not owned).
  TZelEServices& Services() const { return *services_; }
  void SetServices(TZelEServices* s) { services_ = s ? s : &SilentServices(); }

  bool AnimatedStatus = true;
  TZelEDataFormats DataFormats;
  std::string KeyGenerator = "ZelExport 4.99";
  bool SelectedRecord = false;
  bool BlankIfZero = false;
  TZelOptions Options{soShowMessage, soWaitCursor, soDisableControls, soColLines, soRowLines};
  std::string TitleStatus = "Exporting...";
  bool RightToLeft = false;
  TZelESendTo SendTo;
  bool ExportIfEmpty = true;
  TZelEStatistic Statistic;

  TZelELanguageEvent OnGetLanguageString;
  TZelEAcceptEvent OnBeforeRecord;
  TZelEAbortEvent OnAfterRecord;
  TZelENotifyEvent OnBeforeExecute, OnAfterExecute;
  TZelEFileNameEvent OnGetFileName;
  TZelEProgressEvent OnProgress;
  TZelECellParamsEvent OnGetCellParams;

  // Settings that the formats use.
  TTableTypeExport TableType() const { return tableType_; }
  // Changes the extension of a non-empty FileName to the format's (removes it
  // for formats without one), then sets the format.
  virtual void SetTableType(TTableTypeExport t);
  std::vector<std::string> Header, Footer;
  int RowsPerFile = 0;  // 0 = one file
  TCharacterSet CharacterSet = csANSI_WINDOWS;
  // The code page of formats that write 8-bit text; 0: the Windows code page of
  // the table's language driver (its DOS counterpart with the MS-DOS origin).
  int CodePage = 0;
  bool AddTitle = false;
  std::string TableName;
  TZelExportStyle ExportStyle;
  TZelEPageSetup PageSetup;
  char Separator = '\t';     // 0 = none
  char TextQualifier = 0;    // 0 = none
  std::string RecordSeparator = "\r\n";
  bool Fixed = false;
  bool AutoFitColumns = false;
  std::string FileName;
  // Settings of the formats' own (SQL options, text qualifying, ...): a writer
  // reads those of its format; the monitor and the wizard carry every format's.
  TZelEFormatSettingsSet FormatSettings;

  // 0 for all but the text writer (1 fixed-width, 2 delimited).
  virtual int GetTextKind() const { return 0; }
  // The format's export body.
  virtual void ExportData() {}
  // The text of the field's current value in this run.
  virtual void GetFieldStr(const TField* field, std::string& text);
  virtual void GetDefaultExt(std::string& ext) const { ext = ".EXP"; }

  std::string GetLanguageString(int id);
  // ROWNO (number of the data row in the current file, from 1), COLNO (number of
  // the cell's column, from 1), COUNT, ERRCOUNT, GENERATOR; case-insensitive.
  std::string GetSysVarValue(const std::string& name);
  virtual void Assign(const TZelECustomBaseComponent& source);

  // The run's format settings; valid only during a run.
  const TZelERunFormat& RunFormat() const;

 protected:
  TZelEServices* services_;
  TTableTypeExport tableType_ = teText;
  std::optional<TZelERunFormat> runFormat_;
  // Numbers the system variables answer (set by the record writer).
  int sysRowNo_ = 0;
  int sysColNo_ = 0;
};

class TZelExportBaseComponent : public TZelECustomBaseComponent {
 public:
  TZelExportBaseComponent();
  ~TZelExportBaseComponent() override;

  TZelEColumns Columns;
  TZelEColumnBands Bands;
  TGridColumns* DBGrid = nullptr;           // not owned
  TDataSet* DataSet = nullptr;              // not owned
  TZelECustomDataEngine* DataEngine = nullptr;  // not owned
  TColumnSource ColumnSource = csDBGrid;
  std::string SpecificationDir;
  TActionAfterExport ActionAfterExport = aeNone;
  TZelELayout Layout = elColumnar;
  TZelEDataLevels DetailSources;

  TZelESpecEvent OnBeforeLoadSpecification, OnAfterLoadSpecification;
  TZelESpecEvent OnBeforeSaveSpecification, OnAfterSaveSpecification;

  // Runs one export. Never throws; the outcome is Statistic.Result.
  void Execute();

  virtual void CreateDataEngine();
  virtual void FreeDataEngine();
  virtual void BeginExecute();
  virtual void EndExecute();
  virtual void DoActionAfterExport();

  // Export settings files (.zele).
  virtual void LoadSpecificationFromStrings(const std::vector<std::string>& lines);
  virtual void LoadSpecificationFromStream(const std::string& bytes);
  virtual void SaveSpecificationToStream(std::string& out, const std::string& specName);
  // Loads a file (asks for one when fileName is empty); a missing file is ignored.
  // Answers whether a settings file was loaded.
  bool LoadSpecification(const std::string& fileName);
  // Saves (with showDialog the services may edit both names or cancel). Answers
  // whether a file was written.
  bool SaveSpecification(const std::string& specName, const std::string& fileName, bool showDialog);

  // Progress window of the run.
  bool ShowProgress(const std::string& caption, const std::string& status, int position, int maximum, int minimum,
                    const std::string& cancelCaption);
  bool UpdateProgress(const std::string& text, int position);
  bool HideProgress();
  const TZelEProgress& Progress() const { return progress_; }

  // One message through the services; 0 on success.
  int SendMail(const std::string& attachmentName, const std::string& bodyText);

  bool Cancelled() const { return progress_.Cancelled(); }
  void SetCancelled(bool c) { progress_.SetCancelled(c); }
  bool UserColumns() const { return userColumns_; }
  int RecordCount() const { return recordCount_; }
  int ExportedColumnCount() const { return exportedColumns_; }
  bool IsExported(const TZelEColumn& c) const {
    return c.Visible || Options.Has(soExportInvisibleFields);
  }
  // The engine of the run (nullptr outside a run).
  TZelECustomDataEngine* Engine() const { return engine_; }
  // The dataset behind the run's engine, else the one of the data source.
  TDataSet* GetDataset() const;
  // A column's field name as text: tables store their field names in their own code
  // page, so a name read from one is decoded as the table's text is.
  std::string FieldNameText(const TZelEColumn& c) const;

  void Assign(const TZelECustomBaseComponent& source) override;

 protected:
  // Ends the output of a run: keep it (the run completed) or throw it away.
  // Formats that write files replace earlier ones only here. Throwing marks the
  // run as failed.
  virtual void FinishOutput(bool keep) { (void)keep; }
  // Whether the last run produced its output (false when there were no records
  // and ExportIfEmpty was off).
  virtual bool OutputWritten() const { return true; }
  // How many records the last run wrote, or -1 when the format does not count them.
  virtual int RecordsWritten() const { return -1; }
  // Records a failure of the run: Result, progress window, message.
  void RunFailed(const std::string& message);
  int recordCount_ = 0;
  int64_t unreadAtStart_ = 0;  // the dataset's count of values it could not deliver, at the start
  int exportedColumns_ = 0;

 private:
  TZelECustomDataEngine* engine_ = nullptr;
  std::unique_ptr<TZelECustomDataEngine> ownedEngine_;
  TZelEProgress progress_;
  bool userColumns_ = false;
  // Steps of BeginExecute that were done and must be undone by EndExecute.
  bool columnsFilled_ = false;
  bool controlsDisabled_ = false;
  bool cursorBusy_ = false;
  bool engineStarted_ = false;
};

}  // namespace korvane
