// Qt stand-ins for the data controls of the program's windows, bound to data sets through a
// TDataSource: the record navigator, the grid (a model fetching a screen of rows at a time),
// the index drop-down, the incremental search box, the bound edit, combo, lookup combo, spin
// edit and date picker, and the progress bar with its change event.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/DBSource.h"

class QToolButton;
class QFontMetrics;
class TDataSet;
class TField;
class TIndexDefs;

// ---------------------------------------------------------------------------------------------
// Text at the boundary: fields hold Windows-1252, Qt holds UTF-16.
QString FieldToQString(const std::string& text);
std::string QStringToField(const QString& text);

// The indexes of a table as the index drop-down and the incremental search see them. The data
// sets of the data-set layer publish no index; a table component fills this in (see
// MakeIndexHost). Any member may be empty: the controls then do without it.
struct TIndexHost {
  std::function<std::vector<std::string>()> IndexNames;        // every index name of the table
  std::function<std::string()> IndexName;                      // the current index ("" = natural order)
  std::function<void(const std::string& name)> SetIndexName;   // makes `name` the current index
  std::function<std::string()> IndexFieldNames;                // key fields of the current index, ';'-separated
};

// The host of a table component T publishing IndexName(), SetIndexName(name) and IndexDefs()
// (a TIndexDefs); `table` must outlive the controls using the host.
template <class T>
TIndexHost MakeIndexHost(T& table) {
  TIndexHost host;
  host.IndexNames = [&table] {
    std::vector<std::string> names;
    const auto& defs = table.IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) names.push_back(defs[i].Name());
    return names;
  };
  host.IndexName = [&table] { return std::string(table.IndexName()); };
  host.SetIndexName = [&table](const std::string& name) { table.SetIndexName(name); };
  host.IndexFieldNames = [&table]() -> std::string {
    const std::string name = table.IndexName();
    const auto& defs = table.IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i)
      if (!name.empty() && QString::fromStdString(defs[i].Name()).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0)
        return defs[i].Fields();
    return {};
  };
  return host;
}

// A data link that follows one field of its data source's data set and reports through
// callbacks; the bound controls are built on it.
class TFieldDataLink : public TDataLink {
public:
  const std::string& FieldName() const { return FieldName_; }
  void SetFieldName(const std::string& value);
  // The field of that name in the open data set; nullptr otherwise.
  TField* Field() const;
  // Edit() asked for by the control itself: the record change it causes is not shown back,
  // so what the user is typing stays.
  bool EditFromControl();

  std::function<void()> OnDataChange;     // the record or the field changed: show the value
  std::function<void()> OnEditingChange;  // Editing() changed
  std::function<void()> OnActiveChange;   // Active() changed
  std::function<void()> OnUpdateData;     // write the control's pending value into the field

protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void UpdateData() override;

private:
  std::string FieldName_;  // the followed field's name
  bool Modifying_ = false; // inside EditFromControl
};

// ---------------------------------------------------------------------------------------------
// The buttons of the record navigator, in their order on the bar.
enum class TNavigateBtn : uint8_t {
  nbFirst, nbPriorPage, nbPrior, nbNext, nbNextPage, nbLast, nbInsert, nbDelete, nbEdit, nbPost,
  nbCancel, nbRefresh, nbSaveBookmark, nbRestoreBookmark,
};
inline constexpr int NavigateBtnCount = 14;

// A bar of the fourteen navigator buttons, each with its hint. Bound to a data source, a click
// carries out the button's action on its data set (errors go to the default handler) and then
// reports the button; the buttons are enabled as the data set's state allows. Unbound, every
// button is enabled and a click only reports the button.
class TwwDBNavigator : public QWidget {
  Q_OBJECT

public:
  explicit TwwDBNavigator(QWidget* parent = nullptr);  // parent: owning widget
  ~TwwDBNavigator() override;

  // The button of `button` (owned by the bar) and its hint text.
  QToolButton* Button(TNavigateBtn button) const { return Buttons_[static_cast<int>(button)]; }
  static QString Hint(TNavigateBtn button);
  // How many records the page buttons move.
  static constexpr int PageSize = 10;

  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* value);  // not owned; nullptr unbinds
  // Carries out the action of `button` on the data set (nothing when unbound); raises what the
  // data set raises.
  void BtnClick(TNavigateBtn button);
  // The bookmark saved by nbSaveBookmark (empty when none).
  const TBookmark& SavedBookmark() const { return Bookmark_; }
  // Re-evaluates which buttons are enabled.
  void UpdateButtons();

signals:
  void Click(TNavigateBtn button);

private:
  class TNavLink;
  std::array<QToolButton*, NavigateBtnCount> Buttons_{};  // owned by this widget (Qt parent)
  std::unique_ptr<TNavLink> Link_;                        // owned
  TBookmark Bookmark_;                                    // saved bookmark
};

// ---------------------------------------------------------------------------------------------
// How a grid cell is edited.
enum class TGridEditorKind : uint8_t {
  geText,      // plain text
  geDate,      // date picker in the short date format
  geDropDown,  // editable drop-down offering a list; any text may be typed
};

// One column of the grid: the field shown, its title and width, and its cell editor.
struct TwwGridColumn {
  QString FieldName;
  QString Title;
  int DisplayWidth = 10;                               // characters
  TGridEditorKind Editor = TGridEditorKind::geText;
  QStringList Items;                                   // geDropDown: the fixed list
  std::function<QStringList()> ItemsProvider;          // geDropDown: the list, asked each time an editor opens
  QString text() const { return Title; }               // the title (Qt's header item spelling)
};

// The table model of a grid over a data source's data set: one row per record in the current
// order (RecordCount), with the current record's row tracked from RecNo. Cell texts are read a
// screen of rows at a time with ReadRecords around the current record; rows far from it are
// reached by positioning the data set (RecNo) with controls disabled and coming back to the
// bookmark, so a fetch never walks the table.
class TwwGridModel : public QAbstractTableModel {
  Q_OBJECT

public:
  explicit TwwGridModel(QObject* parent = nullptr);
  ~TwwGridModel() override;

  std::vector<TwwGridColumn>& Columns() { return Columns_; }
  void AddColumn(const TwwGridColumn& column);
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* value);  // not owned
  TDataSet* DataSet() const;               // the source's data set while active, else nullptr

  // Row of the data set's current record; -1 when none.
  int CurrentRow() const { return CurrentRow_; }
  // Rows read per fetch (at least 1; default 64).
  int FetchSize() const { return FetchSize_; }
  void SetFetchSize(int value) { FetchSize_ = value < 1 ? 1 : value; }
  // Makes `row` the current record (the data set moves).
  void SetCurrentRow(int row);
  // Drops the fetched rows and re-reads the row count and the current row.
  void Reload();

  QColor CurrentRowColor;  // background of the current row (invalid = the view's)

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Writes into the current record (the data set enters edit first); value: the editor's text.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  bool ReadOnly = false;  // no cell edits

signals:
  // The current record moved from row `previous` to `current`.
  void CurrentRowChanged(int previous, int current);

private:
  class TGridLink;
  friend class TGridLink;
  void Fetch(int row) const;
  void DataChanged();
  void Scrolled();
  void RecordChanged();
  int ReadCurrentRow() const;

  std::vector<TwwGridColumn> Columns_;
  std::unique_ptr<TGridLink> Link_;          // owned
  mutable int CacheStart_ = 0;               // row of Cache_[0]
  mutable std::vector<std::vector<QString>> Cache_;  // fetched rows' cell texts
  int RowCount_ = 0;
  int CurrentRow_ = -1;
  int FetchSize_ = 64;
  mutable bool Internal_ = false;            // inside a fetch of our own: notifications ignored
};

// A grid of named columns over a data source whose titles may act as buttons; the current row
// and every second row have colours of their own; the view's current row and the data set's
// current record follow each other.
class TwwDBGrid : public QTableView {
  Q_OBJECT

public:
  explicit TwwDBGrid(QWidget* parent = nullptr);  // parent: owning widget
  ~TwwDBGrid() override;

  // Appends a column for `fieldName` titled `displayLabel`, `displayWidth` characters wide.
  void AddColumn(const QString& fieldName, const QString& displayLabel, int displayWidth);
  QString ColumnFieldName(int column) const;  // empty outside the columns
  int columnCount() const;
  // The column definition (nullptr outside the columns); its text() is the title.
  const TwwGridColumn* horizontalHeaderItem(int column) const;
  // Sets the cell editor of the column showing `fieldName` (nothing when there is none).
  void SetColumnEditor(const QString& fieldName, TGridEditorKind kind, const QStringList& items = {},
                       std::function<QStringList()> provider = {});
  void SetColumnItems(const QString& fieldName, const QStringList& items);

  TwwGridModel* Model() const { return Model_; }
  TDataSource* DataSource() const { return Model_->DataSource(); }
  void SetDataSource(TDataSource* value) { Model_->SetDataSource(value); }

  // When on, a click on a column title reports its field name through TitleButtonClick.
  bool TitleButtons() const { return TitleButtons_; }
  void SetTitleButtons(bool value);

  QColor AlternatingRowColor() const;
  void SetAlternatingRowColor(const QColor& value);
  QColor CurrentRowColor() const;
  void SetCurrentRowColor(const QColor& value);

signals:
  void TitleButtonClick(const QString& fieldName);
  // A cell editor of the column showing `fieldName` is about to open.
  void EditorEnter(const QString& fieldName);

private:
  void FollowDataSet(int current);

  TwwGridModel* Model_ = nullptr;  // owned by this view (Qt parent)
  bool TitleButtons_ = false;      // titles act as buttons
  bool Following_ = false;         // moving the view to the data set's record
};

// ---------------------------------------------------------------------------------------------
// The index drop-down: lists the table's index names sorted (ignoring case), shows the current
// one and makes the chosen one current.
class TwwKeyCombo : public QComboBox {
  Q_OBJECT

public:
  explicit TwwKeyCombo(QWidget* parent = nullptr);
  const TIndexHost& IndexHost() const { return Host_; }
  void SetIndexHost(TIndexHost value);  // refills the list
  // Refills the list from the host and selects the current index.
  void RefreshList();

private:
  TIndexHost Host_;
};

// The incremental search box: typing moves the data set to the first record whose first key
// field of the current index (else the first field) begins with the text, ignoring case, and
// shows the matched value with the untyped part selected. Empty text goes to the first record.
class TwwIncrementalSearch : public QLineEdit {
  Q_OBJECT

public:
  explicit TwwIncrementalSearch(QWidget* parent = nullptr);
  ~TwwIncrementalSearch() override;
  TDataSource* DataSource() const { return Link_->DataSource(); }
  void SetDataSource(TDataSource* value);  // not owned
  void SetIndexHost(TIndexHost value) { Host_ = std::move(value); }
  // The field searched: the first key field of the current index, else the first field.
  TField* SearchField() const;
  // Searches for `typed` as if it had been typed; true when a record matched.
  bool Search(const QString& typed);

private:
  std::unique_ptr<TDataLink> Link_;  // owned
  TIndexHost Host_;
};

// A single-line edit of one field.
class TwwDBEdit : public QLineEdit {
  Q_OBJECT

public:
  explicit TwwDBEdit(QWidget* parent = nullptr);
  ~TwwDBEdit() override;
  TFieldDataLink& DataLink() { return *Link_; }
  void SetDataSource(TDataSource* value) { Link_->SetDataSource(value); }
  void SetDataField(const std::string& fieldName) { Link_->SetFieldName(fieldName); }

private:
  std::unique_ptr<TFieldDataLink> Link_;  // owned
  bool Loading_ = false;                  // showing the field's value
};

// An editable drop-down of one field offering a list; any text may be typed. The lookup combo
// is the same control whose list comes from a provider asked each time the control is entered
// (after EnterField, where the program refreshes its lookup query).
class TwwDBComboBox : public QComboBox {
  Q_OBJECT

public:
  explicit TwwDBComboBox(QWidget* parent = nullptr);
  ~TwwDBComboBox() override;
  TFieldDataLink& DataLink() { return *Link_; }
  void SetDataSource(TDataSource* value) { Link_->SetDataSource(value); }
  void SetDataField(const std::string& fieldName) { Link_->SetFieldName(fieldName); }
  void SetItems(const QStringList& items);
  std::function<QStringList()> ItemsProvider;  // when set, refills the list on entering

signals:
  void EnterField();

protected:
  void focusInEvent(QFocusEvent* event) override;

private:
  void Load();
  std::unique_ptr<TFieldDataLink> Link_;  // owned
  bool Loading_ = false;
};
using TwwDBLookupCombo = TwwDBComboBox;

// A spin edit of one field holding an integer (or integer text); step 1.
class TwwDBSpinEdit : public QSpinBox {
  Q_OBJECT

public:
  explicit TwwDBSpinEdit(QWidget* parent = nullptr);
  ~TwwDBSpinEdit() override;
  TFieldDataLink& DataLink() { return *Link_; }
  void SetDataSource(TDataSource* value) { Link_->SetDataSource(value); }
  void SetDataField(const std::string& fieldName) { Link_->SetFieldName(fieldName); }

private:
  std::unique_ptr<TFieldDataLink> Link_;  // owned
  bool Loading_ = false;
};

// A date picker of one field: a date field, or a text field holding the short date text.
class TwwDBDateTimePicker : public QDateEdit {
  Q_OBJECT

public:
  explicit TwwDBDateTimePicker(QWidget* parent = nullptr);
  ~TwwDBDateTimePicker() override;
  TFieldDataLink& DataLink() { return *Link_; }
  void SetDataSource(TDataSource* value) { Link_->SetDataSource(value); }
  void SetDataField(const std::string& fieldName) { Link_->SetFieldName(fieldName); }

private:
  std::unique_ptr<TFieldDataLink> Link_;  // owned
  bool Loading_ = false;
};

// A progress bar with the program's properties and a change event run whenever the position
// changes.
class TfcProgressBar : public QProgressBar {
  Q_OBJECT

public:
  explicit TfcProgressBar(QWidget* parent = nullptr);
  int Min() const { return minimum(); }
  void SetMin(int value) { setMinimum(value); }
  int Max() const { return maximum(); }
  void SetMax(int value) { setMaximum(value); }
  int Position() const { return value(); }
  void SetPosition(int value);
  bool Visible() const { return isVisible(); }
  void SetVisible(bool value) { setVisible(value); }
  std::function<void(TfcProgressBar& sender)> OnChange;
};

// ---------------------------------------------------------------------------------------------
// Pixel width of a column `characters` wide in the font of `metrics`.
int DisplayWidthToPixels(const QFontMetrics& metrics, int characters);

// The Qt display format of a run-time date pattern ("M/d/yyyy", "dd.mm.yy"): day, month and
// year letters in either case, other characters kept as they are.
QString QtDateFormat(const std::string& shortDateFormat);
