// The band report engine: bands in order with group headers and footers, pagination with the
// column header on every page and the page footer at the bottom, before-print suppression and
// changes, the quiet walk of the data set, PDF output, painting and the scripted preview.
#include "platform/ui/Reports.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/db/TestDataSet.h"
#include "platform/ui/Dialogs.h"

using dbtest::Int;
using dbtest::Str;
using dbtest::TTestDataSet;

namespace {

// Counts what the controls hear while the report runs.
class TCountingLink : public TDataLink {
public:
  int Scrolls = 0, Changes = 0;

protected:
  void DataSetScrolled(int32_t) override { ++Scrolls; }
  void DataSetChanged() override { ++Changes; }
};

struct TReportFixture {
  TTestDataSet Set;
  TDataSource Source;
  TQuickRep Report;
  TQRBand* Title = nullptr;
  TQRBand* Header = nullptr;
  TQRGroup* Group = nullptr;
  TQRBand* Footer = nullptr;
  TQRBand* Detail = nullptr;
  TQRBand* PageFooter = nullptr;

  explicit TReportFixture(const std::vector<std::string>& names) {
    Set.Columns = {{"name", TFieldType::ftString, 20}, {"num", TFieldType::ftInteger}};
    for (size_t i = 0; i < names.size(); ++i) Set.AddRow({Str(names[i]), Int(static_cast<int32_t>(i))});
    Source.SetDataSet(&Set);
    Set.Open();
    Report.SetDataSet(&Set);
    Title = &Report.AddBand(TQRBandType::rbTitle, 40);
    Title->Name = "title";
    Title->Add<TQRLabel>(0, 0, 300, 20).Caption = "Report Title";
    Header = &Report.AddBand(TQRBandType::rbColumnHeader, 20);
    Header->Name = "header";
    Header->Add<TQRLabel>(0, 0, 100, 14).Caption = "NAME";
    Header->Add<TQRShape>(0, 16, 540, 2);
    Footer = &Report.AddBand(TQRBandType::rbGroupFooter, 20);
    Footer->Name = "footer";
    Group = &Report.AddGroup(20, [](TDataSet& ds) { return QString::fromStdString(ds.FieldByName("name").AsString()); }, Footer);
    Group->Name = "group";
    Group->Add<TQRDBText>(0, 0, 200, 14).DataField = "name";
    TQRGroup* group = Group;
    Footer->Add<TQRDBText>(0, 0, 200, 14).DataField = "name";
    Footer->Add<TQRExpr>(300, 0, 100, 14).Expression = [group] { return QString::number(group->DetailCount()); };
    Detail = &Report.AddBand(TQRBandType::rbDetail, 14);
    Detail->Name = "detail";
    Detail->Add<TQRDBText>(0, 0, 100, 14).DataField = "num";
    PageFooter = &Report.AddBand(TQRBandType::rbPageFooter, 20);
    PageFooter->Name = "pagefooter";
    auto& page = PageFooter->Add<TQRSysData>(0, 0, 100, 14);
    page.Data = TQRSysDataType::qrsPageNumber;
    page.Text = "Page ";
  }

  // "name:text|text" for every band printed, over all pages.
  std::vector<std::string> Printed() const {
    std::vector<std::string> out;
    for (const TQRPage& page : Report.Pages()) {
      size_t item = 0;
      for (const TQRPrintedBand& b : page.Bands) {
        std::string line = b.Band->Name + ":";
        for (size_t i = 0; i < b.Band->Items().size(); ++i, ++item)
          if (!page.Items[item].Text.isEmpty()) line += page.Items[item].Text.toStdString() + "|";
        out.push_back(line);
      }
    }
    return out;
  }
};

TEST(Reports, BandsPrintInOrderWithGroupHeadersAndFootersOverAQuietWalk) {
  TReportFixture f({"Ant", "Ant", "Moth", "Spider", "Spider", "Spider"});
  TCountingLink link;
  link.SetDataSource(&f.Source);
  f.Report.Prepare();
  const std::vector<std::string> expected = {
      "title:Report Title|", "header:NAME|",
      "group:Ant|", "detail:0|", "detail:1|", "footer:Ant|2|",
      "group:Moth|", "detail:2|", "footer:Moth|1|",
      "group:Spider|", "detail:3|", "detail:4|", "detail:5|", "footer:Spider|3|",
      "pagefooter:Page 1|"};
  EXPECT_EQ(f.Printed(), expected);
  EXPECT_EQ(link.Scrolls, 0);
  EXPECT_LE(link.Changes, 1);
  EXPECT_EQ(f.Set.RecNo(), 6);
  EXPECT_FALSE(f.Set.ControlsDisabled());
}

TEST(Reports, EmptyDataSetPrintsTitleHeaderAndPageFooterOnly) {
  TReportFixture f({});
  f.Report.Prepare();
  EXPECT_EQ(f.Printed(), (std::vector<std::string>{"title:Report Title|", "header:NAME|", "pagefooter:Page 1|"}));
}

TEST(Reports, PagesBreakBeforeTheFooterWithTheColumnHeaderOnEveryPage) {
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) names.push_back("pest" + std::to_string(i / 7 + 10));
  TReportFixture f(names);
  f.Report.Prepare();
  const TQRPageSetup& setup = f.Report.Page();
  ASSERT_GT(f.Report.PageCount(), 2);
  int details = 0;
  for (int p = 0; p < f.Report.PageCount(); ++p) {
    SCOPED_TRACE(p);
    const TQRPage& page = f.Report.Pages()[static_cast<size_t>(p)];
    ASSERT_GE(page.Bands.size(), 3u);
    EXPECT_EQ(page.Bands[p == 0 ? 1 : 0].Band, f.Header);
    EXPECT_DOUBLE_EQ(page.Bands.front().Rect.top(), setup.TopMargin);
    const TQRPrintedBand& last = page.Bands.back();
    EXPECT_EQ(last.Band, f.PageFooter);
    EXPECT_DOUBLE_EQ(last.Rect.bottom(), setup.PaperHeight - setup.BottomMargin);
    for (size_t b = 0; b + 1 < page.Bands.size(); ++b) {
      EXPECT_LE(page.Bands[b].Rect.bottom(), last.Rect.top() + 1e-9);
      if (b > 0) {
        EXPECT_DOUBLE_EQ(page.Bands[b].Rect.top(), page.Bands[b - 1].Rect.bottom());
      }
      if (page.Bands[b].Band == f.Detail) ++details;
    }
    EXPECT_EQ(page.Items.back().Text, QString("Page %1").arg(p + 1));
    // The page is full: the next band would not have fitted.
    if (p + 1 < f.Report.PageCount()) {
      EXPECT_GT(page.Bands[page.Bands.size() - 2].Rect.bottom() + 20, last.Rect.top());
    }
  }
  EXPECT_EQ(details, 150);
}

TEST(Reports, BeforePrintSuppressesOrChangesBands) {
  TReportFixture f({"Ant", "Ant", "Ant", "Moth", "Moth"});
  int total = 0;
  auto& subtotal = f.Footer->Add<TQRLabel>(400, 0, 60, 14);
  f.Group->BeforePrint = [&](TQRBand&, bool&) { total = 0; };
  f.Detail->BeforePrint = [&](TQRBand&, bool& print) {
    const int32_t n = f.Set.FieldByName("num").AsInteger();
    print = n % 2 == 0;
    if (print) total += n;
  };
  f.Footer->BeforePrint = [&](TQRBand&, bool&) { subtotal.Caption = QString::number(total); };
  f.Title->BeforePrint = [](TQRBand&, bool& print) { print = false; };
  f.Report.Prepare();
  const std::vector<std::string> expected = {
      "header:NAME|", "group:Ant|", "detail:0|", "detail:2|", "footer:Ant|3|2|",
      "group:Moth|", "detail:4|", "footer:Moth|2|4|", "pagefooter:Page 1|"};
  EXPECT_EQ(f.Printed(), expected);
  // A suppressed band takes no room.
  EXPECT_DOUBLE_EQ(f.Report.Pages()[0].Bands[0].Rect.top(), f.Report.Page().TopMargin);
}

TEST(Reports, PdfHasOnePagePerPreparedPageAndPaintingMarksThePage) {
  std::vector<std::string> names(120, "Silverfish");
  TReportFixture f(names);
  QTemporaryDir dir;
  const QString file = dir.filePath("report.pdf");
  ASSERT_TRUE(f.Report.ExportToPdf(file));
  QFile pdf(file);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray bytes = pdf.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  const int pages = static_cast<int>(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                                     bytes.count("/Type /Page ") + bytes.count("/Type /Page/") +
                                     bytes.count("/Type /Page>"));
  ASSERT_GT(f.Report.PageCount(), 1);
  EXPECT_EQ(pages, f.Report.PageCount());
  EXPECT_FALSE(f.Report.ExportToPdf(dir.filePath("missing/dir/report.pdf")));

  // Ink inside the header line's box, none in the left margin.
  QImage image(612, 792, QImage::Format_RGB32);
  QPainter painter(&image);
  f.Report.PaintPage(painter, 0, QRectF(0, 0, 612, 792));
  painter.end();
  const auto inked = [&](const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (image.pixel(x, y) != qRgb(255, 255, 255)) return true;
    return false;
  };
  const QRectF line = f.Report.Pages()[0].Bands[1].Rect;  // the column header band
  EXPECT_TRUE(inked(QRect(60, static_cast<int>(line.top()) + 15, 400, 4)));
  EXPECT_TRUE(inked(QRect(36, 36, 200, 20)));  // title text
  EXPECT_FALSE(inked(QRect(0, 0, 30, 792)));
}

TEST(Reports, PreviewGoesThroughTheDialogService) {
  TReportFixture f({"Ant"});
  f.Report.ReportTitle = "Pest List";
  DialogService().Clear();
  f.Report.Preview();
  ASSERT_EQ(DialogService().Shown().size(), 1u);
  EXPECT_EQ(DialogService().Shown()[0].Kind, TDialogKind::Preview);
  EXPECT_EQ(DialogService().Shown()[0].Caption, QString("Pest List"));
  EXPECT_EQ(DialogService().Shown()[0].Text, QString::number(f.Report.PageCount()));
  DialogService().Clear();
}

}  // namespace
