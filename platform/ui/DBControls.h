// Qt stand-ins for the data controls of the program's windows: the record navigator, the grid
// with its columns, title buttons and row colours, and the conversion of the run-time's date
// patterns for date pickers. They show and report; binding them to data sets is a later layer.
#pragma once

#include <QColor>
#include <QString>
#include <QTableWidget>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

class QToolButton;
class QFontMetrics;

// The buttons of the record navigator, in their order on the bar.
enum class TNavigateBtn : uint8_t {
  nbFirst, nbPriorPage, nbPrior, nbNext, nbNextPage, nbLast, nbInsert, nbDelete, nbEdit, nbPost,
  nbCancel, nbRefresh, nbSaveBookmark, nbRestoreBookmark,
};
inline constexpr int NavigateBtnCount = 14;

// A bar of the fourteen navigator buttons, each with its hint; a click reports the button.
class TwwDBNavigator : public QWidget {
  Q_OBJECT

public:
  explicit TwwDBNavigator(QWidget* parent = nullptr);  // parent: owning widget

  // The button of `button` (owned by the bar) and its hint text.
  QToolButton* Button(TNavigateBtn button) const { return Buttons_[static_cast<int>(button)]; }
  static QString Hint(TNavigateBtn button);
  // How many records the page buttons move.
  static constexpr int PageSize = 10;

signals:
  void Click(TNavigateBtn button);

private:
  std::array<QToolButton*, NavigateBtnCount> Buttons_{};  // owned by this widget (Qt parent)
};

// A grid of named columns whose titles may act as buttons; the current row and every second
// row have colours of their own.
class TwwDBGrid : public QTableWidget {
  Q_OBJECT

public:
  explicit TwwDBGrid(QWidget* parent = nullptr);  // parent: owning widget

  // Appends a column for `fieldName` titled `displayLabel`, `displayWidth` characters wide.
  void AddColumn(const QString& fieldName, const QString& displayLabel, int displayWidth);
  QString ColumnFieldName(int column) const;  // empty outside the columns

  // When on, a click on a column title reports its field name through TitleButtonClick.
  bool TitleButtons() const { return TitleButtons_; }
  void SetTitleButtons(bool value);

  QColor AlternatingRowColor() const;
  void SetAlternatingRowColor(const QColor& value);
  QColor CurrentRowColor() const;
  void SetCurrentRowColor(const QColor& value);

signals:
  void TitleButtonClick(const QString& fieldName);

private:
  bool TitleButtons_ = false;  // titles act as buttons
};

// Pixel width of a column `characters` wide in the font of `metrics`.
int DisplayWidthToPixels(const QFontMetrics& metrics, int characters);

// The Qt display format of a run-time date pattern ("M/d/yyyy", "dd.mm.yy"): day, month and
// year letters in either case, other characters kept as they are.
QString QtDateFormat(const std::string& shortDateFormat);
