// Record navigator bar, grid columns and colours, date pattern conversion.
#include "platform/ui/DBControls.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int GlyphSize = 16;

// Draws the glyph of one navigator button: triangles and bars for moving, signs for editing.
QPixmap NavigatorGlyph(TNavigateBtn button, const QColor& ink) {
  QPixmap pixmap(GlyphSize, GlyphSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  const auto left = [&p](qreal x) { p.drawPolygon(QPolygonF({{x + 5, 3}, {x + 5, 13}, {x, 8}})); };
  const auto right = [&p](qreal x) { p.drawPolygon(QPolygonF({{x, 3}, {x, 13}, {x + 5, 8}})); };
  QPen line(ink, 2.0);
  switch (button) {
    case TNavigateBtn::nbFirst: p.drawRect(QRectF(3, 3, 2, 10)); left(6); break;
    case TNavigateBtn::nbPriorPage: left(2); left(8); break;
    case TNavigateBtn::nbPrior: left(5); break;
    case TNavigateBtn::nbNext: right(6); break;
    case TNavigateBtn::nbNextPage: right(3); right(9); break;
    case TNavigateBtn::nbLast: right(5); p.drawRect(QRectF(11, 3, 2, 10)); break;
    case TNavigateBtn::nbInsert: p.drawRect(QRectF(7, 3, 2, 10)); p.drawRect(QRectF(3, 7, 10, 2)); break;
    case TNavigateBtn::nbDelete: p.drawRect(QRectF(3, 7, 10, 2)); break;
    case TNavigateBtn::nbEdit: p.drawPolygon(QPolygonF({{3, 12}, {13, 12}, {8, 4}})); break;
    case TNavigateBtn::nbPost:
      p.setPen(line);
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(QPolygonF({{3, 8}, {6.5, 12}, {13, 4}}));
      break;
    case TNavigateBtn::nbCancel:
      p.setPen(line);
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    case TNavigateBtn::nbRefresh:
      p.setPen(line);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawPolygon(QPolygonF({{8, 0.5}, {8, 6}, {12, 3}}));
      break;
    case TNavigateBtn::nbSaveBookmark: p.drawPolygon(QPolygonF({{4, 2}, {12, 2}, {12, 14}, {8, 10}, {4, 14}})); break;
    case TNavigateBtn::nbRestoreBookmark:
      p.drawPolygon(QPolygonF({{6, 2}, {13, 2}, {13, 14}, {9.5, 10}, {6, 14}}));
      p.drawPolygon(QPolygonF({{5, 5}, {5, 11}, {1, 8}}));
      break;
  }
  return pixmap;
}

QString ButtonName(TNavigateBtn button) {
  static const char* const Names[NavigateBtnCount] = {
      "FirstButton", "PriorPageButton", "PriorButton", "NextButton", "NextPageButton", "LastButton",
      "InsertButton", "DeleteButton", "EditButton", "PostButton", "CancelButton", "RefreshButton",
      "SaveBookmarkButton", "RestoreBookmarkButton"};
  return QString::fromLatin1(Names[static_cast<int>(button)]);
}

}  // namespace

// ---------------------------------------------------------------- TwwDBNavigator

TwwDBNavigator::TwwDBNavigator(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  const QColor ink = palette().color(QPalette::ButtonText);
  for (int i = 0; i < NavigateBtnCount; ++i) {
    const auto which = static_cast<TNavigateBtn>(i);
    auto* b = new QToolButton(this);
    b->setObjectName(ButtonName(which));
    b->setToolTip(Hint(which));
    b->setIcon(QIcon(NavigatorGlyph(which, ink)));
    b->setIconSize(QSize(GlyphSize, GlyphSize));
    b->setFixedSize(25, 25);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, [this, which] { emit Click(which); });
    row->addWidget(b);
    Buttons_[i] = b;
  }
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString TwwDBNavigator::Hint(TNavigateBtn button) {
  static const char* const Hints[NavigateBtnCount] = {
      "Move to first record", "Move backward 10 records", "Move to prior record", "Move to next record",
      "Move forward 10 records", "Move to last record", "Insert new record", "Delete current record",
      "Edit current record", "Post changes of current record", "Cancel changes made to current record",
      "Refresh the contents of the dataset", "Bookmark current record", "Go back to saved bookmark"};
  return QString::fromLatin1(Hints[static_cast<int>(button)]);
}

// ---------------------------------------------------------------- TwwDBGrid

TwwDBGrid::TwwDBGrid(QWidget* parent) : QTableWidget(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAlternatingRowColors(true);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setFixedWidth(14);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (TitleButtons_) emit TitleButtonClick(ColumnFieldName(column));
  });
}

void TwwDBGrid::AddColumn(const QString& fieldName, const QString& displayLabel, int displayWidth) {
  const int column = columnCount();
  setColumnCount(column + 1);
  auto* title = new QTableWidgetItem(displayLabel);
  title->setData(Qt::UserRole, fieldName);
  setHorizontalHeaderItem(column, title);
  setColumnWidth(column, DisplayWidthToPixels(fontMetrics(), displayWidth));
}

QString TwwDBGrid::ColumnFieldName(int column) const {
  const QTableWidgetItem* title = horizontalHeaderItem(column);
  return title == nullptr ? QString() : title->data(Qt::UserRole).toString();
}

void TwwDBGrid::SetTitleButtons(bool value) {
  TitleButtons_ = value;
  horizontalHeader()->setSectionsClickable(value);
}

QColor TwwDBGrid::AlternatingRowColor() const { return palette().color(QPalette::AlternateBase); }

void TwwDBGrid::SetAlternatingRowColor(const QColor& value) {
  QPalette pal = palette();
  pal.setColor(QPalette::AlternateBase, value);
  setPalette(pal);
}

QColor TwwDBGrid::CurrentRowColor() const { return palette().color(QPalette::Active, QPalette::Highlight); }

void TwwDBGrid::SetCurrentRowColor(const QColor& value) {
  QPalette pal = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::Highlight, value);
    pal.setColor(group, QPalette::HighlightedText, pal.color(group, QPalette::Text));
  }
  setPalette(pal);
}

// ---------------------------------------------------------------- helpers

int DisplayWidthToPixels(const QFontMetrics& metrics, int characters) {
  return characters * metrics.horizontalAdvance(QLatin1Char('0')) + 8;
}

QString QtDateFormat(const std::string& shortDateFormat) {
  QString result;
  const std::size_t n = shortDateFormat.size();
  for (std::size_t i = 0; i < n;) {
    const char c = shortDateFormat[i];
    const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    if (lower == 'd' || lower == 'm' || lower == 'y') {
      std::size_t run = 1;
      while (i + run < n) {
        const char d = shortDateFormat[i + run];
        if (static_cast<char>(d >= 'A' && d <= 'Z' ? d + ('a' - 'A') : d) != lower) break;
        ++run;
      }
      const int count = static_cast<int>(std::min<std::size_t>(run, 4));
      if (lower == 'd') result += QString(count, QLatin1Char('d'));
      else if (lower == 'm') result += QString(count, QLatin1Char('M'));
      else result += QString(count <= 2 ? 2 : 4, QLatin1Char('y'));
      i += run;
    } else if (c == '"' || c == '\'') {
      const std::size_t close = shortDateFormat.find(c, i + 1);
      const std::size_t end = close == std::string::npos ? n : close;
      result += QLatin1Char('\'') + QString::fromLatin1(shortDateFormat.substr(i + 1, end - i - 1)) + QLatin1Char('\'');
      i = end == n ? n : end + 1;
    } else if ((lower >= 'a' && lower <= 'z')) {
      result += QStringLiteral("'") + QLatin1Char(c) + QLatin1Char('\'');
      ++i;
    } else {
      result += QLatin1Char(c);
      ++i;
    }
  }
  return result;
}
