#include "export/formats/ZelE2DB.h"

#include "export/ZelELang.h"

namespace korvane {

void TZelExportToADODOA::ResolveColumns() {
  dbColumns_.clear();
  TZelECustomDataEngine& engine = *Engine();
  for (const TZelEColumn& c : Columns.Items()) {
    if (!IsExported(c)) continue;
    TDBColumn d;
    d.Column = &c;
    d.Field = c.ColumnKind == ckField ? engine.FindField(c) : nullptr;
    d.Name = Options.Has(soUseFieldNameAsCaption) ? FieldNameText(c) : c.Title.Caption;
    if (Options.Has(soFieldMask)) d.Type = ftString;
    else if (d.Field) d.Type = d.Field->DataType();
    else d.Type = FieldTypeOfCellType(c.DataType);
    d.Required = engine.IsRequired(c);
    dbColumns_.push_back(d);
  }
}

void TZelExportToADODOA::ExportData() {
  if (TableName.empty()) throw EZelExportError(ZelEFormat(GetLanguageString(0), {"TableName"}));
  rowsWritten_ = 0;
  TZelECustomDataEngine& engine = *Engine();
  ResolveColumns();
  Connect();
  try {
    std::string name = FileName;
    if (OnGetFileName) OnGetFileName(*this, 0, name);
    OpenDatabase(name);
    if (!TableExists(TableName)) {
      DropTable(TableName);
      CreateTable();
    }
    OpenTable();

    engine.BeforeExecute();
    engine.First();
    Statistic.TotalCount = 0;
    Statistic.CurrentRow = 0;
    Statistic.Section = 3;
    std::string text;
    while (!Cancelled()) {
      if (engine.Eof()) break;
      if (AnimatedStatus) UpdateProgress(TitleStatus, Statistic.TotalCount);
      bool accept = true;
      if (OnBeforeRecord) OnBeforeRecord(*this, accept);
      if (accept) {
        if (OnProgress) {
          bool abort = false;
          OnProgress(*this, Statistic.TotalCount, engine.GetRecordCount(), abort);
          if (abort) {
            SetCancelled(true);
            break;
          }
        }
        ++Statistic.TotalCount;
        sysRowNo_ = Statistic.TotalCount;
        AddRecord();
        Statistic.CurrentCol = 0;
        for (const TDBColumn& d : dbColumns_) {
          const TZelEColumn& c = *d.Column;
          TFontSpec font = c.Font;
          TAlignment align = c.Alignment;
          TColor color = c.Color;
          TCellType ct = c.DataType;
          const TField* field = d.Field && engine.HasRecord(Statistic.TotalCount - 1) ? d.Field : nullptr;
          sysColNo_ = Statistic.CurrentCol + 1;
          text.clear();
          cellValue_ = TZelECellValue();
          if (field) {
            FieldCellValue(*field, cellValue_);
            // Binary data goes as its bytes; its text (hex) is made only for a
            // handler that may look at it.
            const bool binary = cellValue_.kind == TZelECellValue::cvBlob && field->DataType() != ftMemo &&
                                field->DataType() != ftFmtMemo;
            if (!binary || OnGetCellParams) GetFieldStr(field, text);
            if (Options.Has(soFieldMask)) cellValue_.kind = field->IsNull() ? TZelECellValue::cvNull
                                                                             : TZelECellValue::cvText;
          } else if (c.ColumnKind == ckConstant) {
            text = c.FieldName;
            cellValue_.kind = TZelECellValue::cvText;
          } else if (c.ColumnKind == ckSysVar) {
            text = GetSysVarValue(c.FieldName);
            cellValue_.kind = TZelECellValue::cvText;
          } else if (!engine.GetDataset()) {
            TVariant v;
            engine.GetFieldValue(c, v);
            text = RunFormat().VariantText(v, Options.Has(soFieldMask));
            VariantCellValue(v, engine.GetFieldType(c), cellValue_);
          }
          if (OnGetCellParams) {
            const std::string before = text;
            OnGetCellParams(*this, field, text, font, align, color, ct);
            if (text != before) cellValue_.kind = TZelECellValue::cvText;
          }
          if (cellValue_.kind == TZelECellValue::cvText) cellValue_.Text = text;
          SetFieldValue(Statistic.CurrentCol, field, text);
          ++Statistic.CurrentCol;
        }
        PostRecord();
      }
      engine.Next();
      ++Statistic.CurrentRow;
      bool abort = false;
      if (OnAfterRecord) OnAfterRecord(*this, abort);
      if (abort) SetCancelled(true);
    }
    engine.AfterExecute();
  } catch (...) {
    try {
      Disconnect(false);
    } catch (...) {
    }
    throw;
  }
  Disconnect(true);
}

}  // namespace korvane
