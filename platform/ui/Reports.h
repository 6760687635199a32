// The band report engine of the program's report forms: a report over a data set with title,
// column header, group header, detail, group footer and page footer bands holding labels,
// data-bound texts, expressions, system data and lines. Prepare walks the data set from First
// to Eof (controls disabled) into pages of positioned items, which are painted with QPainter
// into Qt's print preview, onto a printer or into a PDF file.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QPagedPaintDevice;
class TDataSet;
class TQuickRep;

// Report units are points (1/72 inch); a Letter page is 612 x 792.
inline constexpr double ReportPointsPerMm = 72.0 / 25.4;

enum class TQRBandType : uint8_t { rbTitle, rbColumnHeader, rbGroupHeader, rbDetail, rbGroupFooter, rbPageFooter };
enum class TQRSysDataType : uint8_t { qrsDateTime, qrsDate, qrsTime, qrsPageNumber };
enum class TQRAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// One item placed on a page: a text in its box or a line (a box of zero height or width,
// drawn PenWidth thick) or a rectangle outline.
struct TQRDrawItem {
  enum class TKind : uint8_t { Text, Line, Rectangle };
  TKind Kind = TKind::Text;
  QRectF Rect;        // on the page, in points
  QString Text;
  QFont Font;         // point size in points
  int Flags = 0;      // Qt alignment and word-wrap flags of a text
  double PenWidth = 1;
};

// A band as it was printed: which band and where.
struct TQRPrintedBand {
  const class TQRBand* Band = nullptr;  // not owned
  QRectF Rect;                          // on the page, in points
};

struct TQRPage {
  std::vector<TQRDrawItem> Items;
  std::vector<TQRPrintedBand> Bands;  // in printing order
};

// Something printed in a band, placed relative to the band's top left corner (points).
class TQRPrintable {
public:
  virtual ~TQRPrintable() = default;
  double Left = 0, Top = 0, Width = 100, Height = 14;
  QFont Font;                                   // default: Arial-like 10 pt
  TQRAlignment Alignment = TQRAlignment::taLeftJustify;
  bool WordWrap = false;
  bool AutoStretch = false;                     // grows (and its band with it) to fit its text
  bool Enabled = true;
  // The text this item prints now (report for data and system values).
  virtual QString PrintText(TQuickRep& report) = 0;
};

// A fixed text (Caption may be changed by a BeforePrint handler).
class TQRLabel : public TQRPrintable {
public:
  QString Caption;
  QString PrintText(TQuickRep&) override { return Caption; }
};

// The display text of a field of the report's data set (or of DataSet when set).
class TQRDBText : public TQRPrintable {
public:
  std::string DataField;
  TDataSet* DataSet = nullptr;  // not owned; nullptr = the report's
  QString PrintText(TQuickRep& report) override;
};

// A computed text: Expression is called when the band prints.
class TQRExpr : public TQRPrintable {
public:
  std::function<QString()> Expression;
  QString PrintText(TQuickRep&) override { return Expression ? Expression() : QString(); }
};

// The print date and time (taken when preparing starts) or the page number; Text precedes it.
class TQRSysData : public TQRPrintable {
public:
  TQRSysDataType Data = TQRSysDataType::qrsDateTime;
  QString Text;
  QString PrintText(TQuickRep& report) override;
};

// A horizontal or vertical line, or a rectangle outline, filling its box.
class TQRShape : public TQRPrintable {
public:
  enum class TShape : uint8_t { qrsHorLine, qrsVertLine, qrsRectangle };
  TShape Shape = TShape::qrsHorLine;
  double PenWidth = 1;
  QString PrintText(TQuickRep&) override { return {}; }
};

// A band: its height (points), its items (owned) and the handler run before each printing,
// which may change items or clear printBand to suppress it (it then takes no room).
class TQRBand {
public:
  TQRBand(TQRBandType type, double height) : BandType(type), Height(height) {}
  virtual ~TQRBand() = default;
  TQRBand(const TQRBand&) = delete;
  TQRBand& operator=(const TQRBand&) = delete;

  TQRBandType BandType;
  double Height;
  bool Enabled = true;
  std::string Name;  // for callers' own use
  std::function<void(TQRBand& sender, bool& printBand)> BeforePrint;

  template <class T>
  T& Add(double left, double top, double width, double height) {
    auto item = std::make_unique<T>();
    item->Left = left;
    item->Top = top;
    item->Width = width;
    item->Height = height;
    T& result = *item;
    Items_.push_back(std::move(item));
    return result;
  }
  const std::vector<std::unique_ptr<TQRPrintable>>& Items() const { return Items_; }

private:
  std::vector<std::unique_ptr<TQRPrintable>> Items_;  // owned
};

// A group header: a new group starts wherever Expression's text changes between records; the
// group's footer band (owned by the report, may be nullptr) prints after its last record.
class TQRGroup : public TQRBand {
public:
  explicit TQRGroup(double height) : TQRBand(TQRBandType::rbGroupHeader, height) {}
  std::function<QString(TDataSet& dataSet)> Expression;
  TQRBand* FooterBand = nullptr;  // not owned
  // Detail records printed in the current group so far (the count() of its footer).
  int32_t DetailCount() const { return DetailCount_; }

private:
  friend class TQuickRep;
  int32_t DetailCount_ = 0;
  QString Value_;
};

struct TQRPageSetup {
  double PaperWidth = 612, PaperHeight = 792;  // Letter portrait, points
  double LeftMargin = 36, TopMargin = 36, RightMargin = 36, BottomMargin = 36;  // 12.7 mm
  int Zoom = 100;                              // preview zoom, percent
};

class TQuickRep {
public:
  TQuickRep();
  ~TQuickRep();
  TQuickRep(const TQuickRep&) = delete;
  TQuickRep& operator=(const TQuickRep&) = delete;

  TDataSet* DataSet() const { return DataSet_; }
  void SetDataSet(TDataSet* value) { DataSet_ = value; }  // not owned
  TQRPageSetup& Page() { return Page_; }
  QString ReportTitle;  // the preview's caption

  // Bands, owned by the report. At most one title, column header and page footer; groups
  // nest in the order added (the first is the outermost).
  TQRBand& AddBand(TQRBandType type, double height);
  TQRGroup& AddGroup(double height, std::function<QString(TDataSet&)> expression, TQRBand* footer);

  // Lays the report out into pages: title on the first page, column header at the top of
  // every page, group headers and footers around their records, a detail band per record,
  // the page footer at the bottom of every page. The data set is walked from First to Eof with
  // its controls disabled and left on its last record. Raises what the data set raises.
  void Prepare();
  const std::vector<TQRPage>& Pages() const { return Pages_; }
  int PageCount() const { return static_cast<int>(Pages_.size()); }
  // The page being laid out (1-based) while preparing, for system data.
  int PageNumber() const { return static_cast<int>(Pages_.size()); }
  double PrintDateTime() const { return PrintDateTime_; }

  // Paints prepared page `index` (0-based) scaled to fill `target` (device pixels).
  void PaintPage(QPainter& painter, int index, const QRectF& target) const;
  // Paints every prepared page onto a printer or PDF writer, one page each; false when the
  // device cannot be painted on.
  bool Print(QPagedPaintDevice& device) const;
  // Prepares and writes the report as a PDF file; false when the file cannot be written.
  bool ExportToPdf(const QString& fileName);
  // Prepares and shows the pages in Qt's print preview (through the dialog service).
  void Preview();

private:
  void PrintBand(TQRBand& band);
  void NewPage();
  void FinishPage();
  double BandHeight(TQRBand& band);

  TDataSet* DataSet_ = nullptr;  // not owned
  TQRPageSetup Page_;
  std::vector<std::unique_ptr<TQRBand>> Bands_;  // owned
  std::vector<TQRGroup*> Groups_;                // in Bands_
  std::vector<TQRPage> Pages_;
  double Y_ = 0;                 // next free position on the current page
  double PrintDateTime_ = 0;
  bool Preparing_ = false;
};
