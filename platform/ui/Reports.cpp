// Band layout into pages, painting, printing, PDF output and preview of reports.
#include "platform/ui/Reports.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>

#include "platform/db/DB.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/ui/DBControls.h"
#include "platform/ui/Dialogs.h"

namespace {

// Text measurement at 72 dots per inch, so that one pixel is one point.
QFontMetricsF PointMetrics(const QFont& font) {
  static QImage device = [] {
    QImage image(1, 1, QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(72 / 0.0254));
    image.setDotsPerMeterY(qRound(72 / 0.0254));
    return image;
  }();
  return QFontMetricsF(font, &device);
}

int AlignmentFlags(TQRAlignment alignment) {
  switch (alignment) {
    case TQRAlignment::taRightJustify: return Qt::AlignRight | Qt::AlignTop;
    case TQRAlignment::taCenter: return Qt::AlignHCenter | Qt::AlignTop;
    case TQRAlignment::taLeftJustify: break;
  }
  return Qt::AlignLeft | Qt::AlignTop;
}

// Restores a data set's controls however preparing ends.
class TControlsDisabled {
public:
  explicit TControlsDisabled(TDataSet& dataSet) : DataSet_(dataSet) { DataSet_.DisableControls(); }
  ~TControlsDisabled() { DataSet_.EnableControls(); }
  TControlsDisabled(const TControlsDisabled&) = delete;
  TControlsDisabled& operator=(const TControlsDisabled&) = delete;

private:
  TDataSet& DataSet_;
};

}  // namespace

QString TQRDBText::PrintText(TQuickRep& report) {
  TDataSet* ds = DataSet != nullptr ? DataSet : report.DataSet();
  if (ds == nullptr || !ds->Active() || ds->IsEmpty()) return {};
  TField* field = ds->FindField(DataField);
  return field == nullptr ? QString() : FieldToQString(field->DisplayText());
}

QString TQRSysData::PrintText(TQuickRep& report) {
  std::string value;
  switch (Data) {
    case TQRSysDataType::qrsDateTime: value = DateTimeToStr(report.PrintDateTime(), FormatSettings()); break;
    case TQRSysDataType::qrsDate: value = DateToStr(report.PrintDateTime(), FormatSettings()); break;
    case TQRSysDataType::qrsTime: value = TimeToStr(report.PrintDateTime(), FormatSettings()); break;
    case TQRSysDataType::qrsPageNumber: value = std::to_string(report.PageNumber()); break;
  }
  return Text + FieldToQString(value);
}

TQuickRep::TQuickRep() = default;
TQuickRep::~TQuickRep() = default;

TQRBand& TQuickRep::AddBand(TQRBandType type, double height) {
  Bands_.push_back(std::make_unique<TQRBand>(type, height));
  return *Bands_.back();
}

TQRGroup& TQuickRep::AddGroup(double height, std::function<QString(TDataSet&)> expression, TQRBand* footer) {
  auto group = std::make_unique<TQRGroup>(height);
  group->Expression = std::move(expression);
  group->FooterBand = footer;
  TQRGroup& result = *group;
  Groups_.push_back(&result);
  Bands_.push_back(std::move(group));
  return result;
}

double TQuickRep::BandHeight(TQRBand& band) {
  double height = band.Height;
  for (const auto& item : band.Items()) {
    if (!item->Enabled || !item->AutoStretch) continue;
    const QString text = item->PrintText(*this);
    if (text.isEmpty()) continue;
    const QRectF need = PointMetrics(item->Font).boundingRect(
        QRectF(0, 0, item->Width, 1e6), AlignmentFlags(item->Alignment) | (item->WordWrap ? Qt::TextWordWrap : 0), text);
    height = std::max(height, item->Top + need.height());
  }
  return height;
}

void TQuickRep::NewPage() {
  Pages_.emplace_back();
  Y_ = Page_.TopMargin;
}

void TQuickRep::FinishPage() {
  for (const auto& band : Bands_) {
    if (band->BandType != TQRBandType::rbPageFooter || !band->Enabled) continue;
    const double bottom = Page_.PaperHeight - Page_.BottomMargin;
    Y_ = bottom - band->Height;  // the footer stands on the bottom margin
    PrintBand(*band);
  }
}

void TQuickRep::PrintBand(TQRBand& band) {
  if (!band.Enabled) return;
  bool print = true;
  if (band.BeforePrint) band.BeforePrint(band, print);
  if (!print) return;
  const double height = BandHeight(band);
  if (band.BandType != TQRBandType::rbPageFooter) {
    double footer = 0;
    for (const auto& b : Bands_)
      if (b->BandType == TQRBandType::rbPageFooter && b->Enabled) footer += b->Height;
    const double bottom = Page_.PaperHeight - Page_.BottomMargin - footer;
    if (Y_ + height > bottom && Y_ > Page_.TopMargin) {
      FinishPage();
      NewPage();
      if (band.BandType != TQRBandType::rbColumnHeader)
        for (const auto& b : Bands_)
          if (b->BandType == TQRBandType::rbColumnHeader) PrintBand(*b);
    }
  }
  TQRPage& page = Pages_.back();
  const double left = Page_.LeftMargin;
  const QRectF bandRect(left, Y_, Page_.PaperWidth - Page_.LeftMargin - Page_.RightMargin, height);
  page.Bands.push_back({&band, bandRect});
  for (const auto& item : band.Items()) {
    if (!item->Enabled) continue;
    TQRDrawItem draw;
    draw.Rect = QRectF(left + item->Left, Y_ + item->Top, item->Width,
                       item->AutoStretch ? std::max(item->Height, height - item->Top) : item->Height);
    if (auto* shape = dynamic_cast<TQRShape*>(item.get())) {
      draw.PenWidth = shape->PenWidth;
      switch (shape->Shape) {
        case TQRShape::TShape::qrsHorLine:
          draw.Kind = TQRDrawItem::TKind::Line;
          draw.Rect = QRectF(draw.Rect.left(), draw.Rect.center().y(), draw.Rect.width(), 0);
          break;
        case TQRShape::TShape::qrsVertLine:
          draw.Kind = TQRDrawItem::TKind::Line;
          draw.Rect = QRectF(draw.Rect.center().x(), draw.Rect.top(), 0, draw.Rect.height());
          break;
        case TQRShape::TShape::qrsRectangle: draw.Kind = TQRDrawItem::TKind::Rectangle; break;
      }
    } else {
      draw.Text = item->PrintText(*this);
      draw.Font = item->Font;
      draw.Flags = AlignmentFlags(item->Alignment) | (item->WordWrap ? Qt::TextWordWrap : 0);
    }
    page.Items.push_back(std::move(draw));
  }
  Y_ += height;
}

void TQuickRep::Prepare() {
  Pages_.clear();
  PrintDateTime_ = Now();
  Preparing_ = true;
  NewPage();
  const auto bandsOf = [this](TQRBandType type) {
    std::vector<TQRBand*> result;
    for (const auto& b : Bands_)
      if (b->BandType == type) result.push_back(b.get());
    return result;
  };
  for (TQRBand* b : bandsOf(TQRBandType::rbTitle)) PrintBand(*b);
  for (TQRBand* b : bandsOf(TQRBandType::rbColumnHeader)) PrintBand(*b);
  const std::vector<TQRBand*> details = bandsOf(TQRBandType::rbDetail);
  if (DataSet_ != nullptr && DataSet_->Active()) {
    TControlsDisabled quiet(*DataSet_);
    DataSet_->First();
    bool first = true;
    while (!DataSet_->Eof() && !DataSet_->IsEmpty()) {
      // Group headers from the outermost group whose value changed.
      size_t changed = Groups_.size();
      for (size_t g = 0; g < Groups_.size(); ++g) {
        const QString value = Groups_[g]->Expression ? Groups_[g]->Expression(*DataSet_) : QString();
        if ((first || value != Groups_[g]->Value_) && changed == Groups_.size()) changed = g;
        Groups_[g]->Value_ = value;
      }
      for (size_t g = changed; g < Groups_.size(); ++g) {
        Groups_[g]->DetailCount_ = 0;
        PrintBand(*Groups_[g]);
      }
      first = false;
      for (TQRGroup* g : Groups_) ++g->DetailCount_;
      for (TQRBand* b : details) PrintBand(*b);
      // Footers print on the group's last record: look at the next one without moving.
      std::vector<QString> next;
      const bool hasNext = DataSet_->ReadRecords(1, 1, [&](int32_t) {
        for (TQRGroup* g : Groups_) next.push_back(g->Expression ? g->Expression(*DataSet_) : QString());
      }) == 1;
      size_t ending = hasNext ? Groups_.size() : 0;
      for (size_t g = 0; hasNext && g < Groups_.size(); ++g)
        if (next[g] != Groups_[g]->Value_) {
          ending = g;
          break;
        }
      for (size_t g = Groups_.size(); g > ending; --g)
        if (Groups_[g - 1]->FooterBand != nullptr) PrintBand(*Groups_[g - 1]->FooterBand);
      if (!hasNext) break;
      DataSet_->Next();
    }
  }
  FinishPage();
  Preparing_ = false;
}

void TQuickRep::PaintPage(QPainter& painter, int index, const QRectF& target) const {
  if (index < 0 || index >= PageCount()) return;
  painter.save();
  painter.setClipRect(target);
  painter.fillRect(target, Qt::white);
  painter.translate(target.topLeft());
  painter.scale(target.width() / Page_.PaperWidth, target.height() / Page_.PaperHeight);
  const double dpiY = painter.device() != nullptr ? painter.device()->logicalDpiY() : 72;
  for (const TQRDrawItem& item : Pages_[static_cast<size_t>(index)].Items) {
    switch (item.Kind) {
      case TQRDrawItem::TKind::Text: {
        if (item.Text.isEmpty()) break;
        QFont font = item.Font;
        // The painter scales points to device pixels; the font must not be scaled twice.
        font.setPointSizeF(item.Font.pointSizeF() * 72.0 / (dpiY > 0 ? dpiY : 72));
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(item.Rect, item.Flags, item.Text);
        break;
      }
      case TQRDrawItem::TKind::Line:
        painter.setPen(QPen(Qt::black, item.PenWidth));
        painter.drawLine(item.Rect.topLeft(), item.Rect.bottomRight());
        break;
      case TQRDrawItem::TKind::Rectangle:
        painter.setPen(QPen(Qt::black, item.PenWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(item.Rect);
        break;
    }
  }
  painter.restore();
}

bool TQuickRep::Print(QPagedPaintDevice& device) const {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const QRectF full(0, 0, device.width(), device.height());
  for (int i = 0; i < PageCount(); ++i) {
    if (i > 0) device.newPage();
    PaintPage(painter, i, full);
  }
  return painter.end();
}

bool TQuickRep::ExportToPdf(const QString& fileName) {
  Prepare();
  QPdfWriter writer(fileName);
  writer.setResolution(300);
  writer.setPageLayout(QPageLayout(QPageSize(QSizeF(Page_.PaperWidth, Page_.PaperHeight), QPageSize::Point),
                                   QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  return Print(writer);
}

void TQuickRep::Preview() {
  Prepare();
  // The preview keeps its own copy of the pages: the report's data may go at once.
  auto pages = std::make_shared<TQuickRep>();
  pages->Page_ = Page_;
  pages->Pages_ = Pages_;
  DialogService().ShowPreview(ReportTitle, QString::number(PageCount()), [pages](QPrinter& printer) {
    printer.setFullPage(true);
    pages->Print(printer);
  });
}
