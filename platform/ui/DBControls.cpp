// Record navigator, grid model and view, index drop-down, incremental search, bound editors,
// progress bar, date pattern conversion.
#include "platform/ui/DBControls.h"

#include <QDate>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>

#include "platform/db/DB.h"
#include "platform/db/DBFields.h"
#include "platform/rtl/CodePage.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/ui/Forms.h"

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
QString FieldToQString(const std::string& text) {
  const std::u16string wide = Cp1252ToUtf16(text);
  return QString::fromStdU16String(wide);
}

std::string QStringToField(const QString& text) { return Utf16ToCp1252(text.toStdU16String()); }

namespace {

// The date a field holds: its value for date kinds, its text read as a short date otherwise.
bool FieldDate(TField& field, QDate& date) {
  if (field.IsNull()) return false;
  TDateTime value = 0;
  const TFieldType type = field.DataType();
  if (type == TFieldType::ftDate || type == TFieldType::ftDateTime || type == TFieldType::ftTimeStamp) {
    value = field.AsDateTime();
  } else if (!TryStrToDate(field.AsString(), value, FormatSettings())) {
    return false;
  }
  int y = 0, m = 0, d = 0;
  DecodeDate(value, y, m, d);
  date = QDate(y, m, d);
  return date.isValid();
}

void SetFieldDate(TField& field, const QDate& date) {
  const TDateTime value = EncodeDate(date.year(), date.month(), date.day());
  const TFieldType type = field.DataType();
  if (type == TFieldType::ftDate || type == TFieldType::ftDateTime || type == TFieldType::ftTimeStamp)
    field.SetAsDateTime(value);
  else
    field.SetAsString(DateToStr(value, FormatSettings()));
}

// Whether a field may take a value from a control now: after asking the source to edit.
TField* EditableField(TFieldDataLink& link) {
  TField* field = link.Field();
  if (field == nullptr || field->ReadOnly()) return nullptr;
  if (!link.EditFromControl()) return nullptr;
  return field;
}

}  // namespace

// ---------------------------------------------------------------- TFieldDataLink

void TFieldDataLink::SetFieldName(const std::string& value) {
  FieldName_ = value;
  if (OnDataChange) OnDataChange();
}

TField* TFieldDataLink::Field() const {
  TDataSet* ds = DataSet();
  if (!Active() || ds == nullptr || FieldName_.empty()) return nullptr;
  return ds->FindField(FieldName_);
}

bool TFieldDataLink::EditFromControl() {
  Modifying_ = true;
  try {
    const bool editing = Edit();
    Modifying_ = false;
    return editing;
  } catch (...) {
    Modifying_ = false;
    throw;
  }
}

void TFieldDataLink::ActiveChanged() {
  if (OnActiveChange) OnActiveChange();
  if (OnDataChange) OnDataChange();
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange();
}

void TFieldDataLink::RecordChanged(TField* field) {
  if (Modifying_ || (field != nullptr && field != Field())) return;
  if (OnDataChange) OnDataChange();
}

void TFieldDataLink::UpdateData() {
  if (OnUpdateData) OnUpdateData();
}

// ---------------------------------------------------------------- TwwDBNavigator

class TwwDBNavigator::TNavLink : public TDataLink {
public:
  explicit TNavLink(TwwDBNavigator& owner) : Owner_(owner) {}

protected:
  void ActiveChanged() override { Owner_.UpdateButtons(); }
  void DataSetChanged() override { Owner_.UpdateButtons(); }
  void EditingChanged() override { Owner_.UpdateButtons(); }

private:
  TwwDBNavigator& Owner_;
};

TwwDBNavigator::TwwDBNavigator(QWidget* parent) : QWidget(parent), Link_(std::make_unique<TNavLink>(*this)) {
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
    connect(b, &QToolButton::clicked, this, [this, which] {
      CallHandler([this, which] { BtnClick(which); });
      emit Click(which);
    });
    row->addWidget(b);
    Buttons_[i] = b;
  }
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  UpdateButtons();
}

TwwDBNavigator::~TwwDBNavigator() = default;

QString TwwDBNavigator::Hint(TNavigateBtn button) {
  static const char* const Hints[NavigateBtnCount] = {
      "Move to first record", "Move backward 10 records", "Move to prior record", "Move to next record",
      "Move forward 10 records", "Move to last record", "Insert new record", "Delete current record",
      "Edit current record", "Post changes of current record", "Cancel changes made to current record",
      "Refresh the contents of the dataset", "Bookmark current record", "Go back to saved bookmark"};
  return QString::fromLatin1(Hints[static_cast<int>(button)]);
}

TDataSource* TwwDBNavigator::DataSource() const { return Link_->DataSource(); }

void TwwDBNavigator::SetDataSource(TDataSource* value) {
  Link_->SetDataSource(value);
  Bookmark_.clear();
  UpdateButtons();
}

void TwwDBNavigator::BtnClick(TNavigateBtn button) {
  TDataSet* ds = Link_->DataSet();
  if (ds == nullptr || !Link_->Active()) return;
  switch (button) {
    case TNavigateBtn::nbFirst: ds->First(); break;
    case TNavigateBtn::nbPriorPage: ds->MoveBy(-PageSize); break;
    case TNavigateBtn::nbPrior: ds->Prior(); break;
    case TNavigateBtn::nbNext: ds->Next(); break;
    case TNavigateBtn::nbNextPage: ds->MoveBy(PageSize); break;
    case TNavigateBtn::nbLast: ds->Last(); break;
    case TNavigateBtn::nbInsert: ds->Insert(); break;
    case TNavigateBtn::nbDelete: ds->Delete(); break;
    case TNavigateBtn::nbEdit: ds->Edit(); break;
    case TNavigateBtn::nbPost: ds->Post(); break;
    case TNavigateBtn::nbCancel: ds->Cancel(); break;
    case TNavigateBtn::nbRefresh: ds->Refresh(); break;
    case TNavigateBtn::nbSaveBookmark: Bookmark_ = ds->GetBookmark(); break;
    case TNavigateBtn::nbRestoreBookmark: ds->GotoBookmark(Bookmark_); break;
  }
  UpdateButtons();
}

void TwwDBNavigator::UpdateButtons() {
  if (Link_->DataSource() == nullptr) {
    // An unbound bar only reports its clicks.
    for (QToolButton* b : Buttons_) b->setEnabled(true);
    return;
  }
  TDataSet* ds = Link_->DataSet();
  const bool active = ds != nullptr && Link_->Active();
  const bool editing = active && Link_->Editing();
  const bool canModify = active && !Link_->ReadOnly() && ds->CanModify();
  const bool up = active && !ds->Bof();
  const bool down = active && !ds->Eof();
  const bool browse = active && !editing;
  const bool hasRecord = active && !ds->IsEmpty();
  const std::array<bool, NavigateBtnCount> enabled = {
      up, up, up, down, down, down,
      canModify && !editing,                         // insert
      canModify && hasRecord,                        // delete
      canModify && !editing && hasRecord,            // edit
      canModify && editing,                          // post
      canModify && editing,                          // cancel
      browse,                                        // refresh
      browse && hasRecord,                           // bookmark
      browse && !Bookmark_.empty(),                  // back to bookmark
  };
  for (int i = 0; i < NavigateBtnCount; ++i) Buttons_[i]->setEnabled(enabled[static_cast<size_t>(i)]);
}

// ---------------------------------------------------------------- TwwGridModel

class TwwGridModel::TGridLink : public TDataLink {
public:
  explicit TGridLink(TwwGridModel& owner) : Owner_(owner) {}

protected:
  void ActiveChanged() override { Owner_.DataChanged(); }
  void DataSetChanged() override { Owner_.DataChanged(); }
  void DataSetScrolled(int32_t) override { Owner_.Scrolled(); }
  void EditingChanged() override { Owner_.DataChanged(); }
  void LayoutChanged() override { Owner_.DataChanged(); }
  void RecordChanged(TField*) override { Owner_.RecordChanged(); }

private:
  TwwGridModel& Owner_;
};

TwwGridModel::TwwGridModel(QObject* parent) : QAbstractTableModel(parent), Link_(std::make_unique<TGridLink>(*this)) {}

TwwGridModel::~TwwGridModel() = default;

void TwwGridModel::AddColumn(const TwwGridColumn& column) {
  const int at = static_cast<int>(Columns_.size());
  beginInsertColumns(QModelIndex(), at, at);
  Columns_.push_back(column);
  Cache_.clear();
  endInsertColumns();
}

TDataSource* TwwGridModel::DataSource() const { return Link_->DataSource(); }

void TwwGridModel::SetDataSource(TDataSource* value) {
  Link_->SetDataSource(value);
  Reload();
}

TDataSet* TwwGridModel::DataSet() const { return Link_->Active() ? Link_->DataSet() : nullptr; }

int TwwGridModel::ReadCurrentRow() const {
  TDataSet* ds = DataSet();
  if (ds == nullptr || ds->IsEmpty()) return -1;
  if (ds->State() == TDataSetState::dsInsert) {
    // A new record stands before the record it was inserted at, an appended one at the end.
    return CurrentRow_ >= 0 && CurrentRow_ < RowCount_ ? CurrentRow_ : RowCount_ - 1;
  }
  const int32_t recNo = ds->RecNo();
  return recNo > 0 ? recNo - 1 : 0;
}

void TwwGridModel::Reload() {
  if (Internal_) return;
  const int previous = CurrentRow_;
  beginResetModel();
  Cache_.clear();
  CacheStart_ = 0;
  TDataSet* ds = DataSet();
  RowCount_ = 0;
  if (ds != nullptr && !ds->IsEmpty()) {
    const int32_t count = ds->RecordCount();
    // Without a record count the grid shows the current record and a screen after it.
    RowCount_ = count >= 0 ? count : ds->ReadRecords(0, FetchSize_, [](int32_t) {});
    if (ds->State() == TDataSetState::dsInsert) ++RowCount_;
  }
  CurrentRow_ = ReadCurrentRow();
  if (ds != nullptr && ds->State() == TDataSetState::dsInsert && previous >= 0 && previous < RowCount_ &&
      ds->RecNo() <= 0)
    CurrentRow_ = previous;
  endResetModel();
  emit CurrentRowChanged(previous, CurrentRow_);
}

void TwwGridModel::DataChanged() { Reload(); }

void TwwGridModel::Scrolled() {
  if (Internal_) return;
  const int previous = CurrentRow_;
  CurrentRow_ = ReadCurrentRow();
  if (previous >= 0 && previous < RowCount_)
    emit dataChanged(index(previous, 0), index(previous, columnCount() - 1));
  if (CurrentRow_ >= 0)
    emit dataChanged(index(CurrentRow_, 0), index(CurrentRow_, columnCount() - 1));
  emit CurrentRowChanged(previous, CurrentRow_);
}

void TwwGridModel::RecordChanged() {
  if (Internal_ || CurrentRow_ < 0) return;
  // The current record's texts are read again.
  const int at = CurrentRow_ - CacheStart_;
  if (at >= 0 && at < static_cast<int>(Cache_.size())) Cache_[static_cast<size_t>(at)].clear();
  emit dataChanged(index(CurrentRow_, 0), index(CurrentRow_, columnCount() - 1));
}

void TwwGridModel::SetCurrentRow(int row) {
  TDataSet* ds = DataSet();
  if (ds == nullptr || row < 0 || row >= RowCount_ || row == CurrentRow_) return;
  if (ds->RecNo() > 0 && std::abs(row - CurrentRow_) > FetchSize_) ds->SetRecNo(row + 1);
  else ds->MoveBy(row - CurrentRow_);
}

void TwwGridModel::Fetch(int row) const {
  TDataSet* ds = DataSet();
  Cache_.clear();
  if (ds == nullptr || CurrentRow_ < 0) return;
  const int start = std::max(0, std::min(row - FetchSize_ / 4, RowCount_ - FetchSize_));
  const int count = std::min(FetchSize_, RowCount_ - start);
  std::vector<TField*> fields;
  for (const TwwGridColumn& c : Columns_) fields.push_back(ds->FindField(QStringToField(c.FieldName)));
  CacheStart_ = start;
  Cache_.assign(static_cast<size_t>(count), {});
  const auto fill = [&](int base) {
    return [&, base](int32_t distance) {
      const int at = base + distance - start;
      if (at < 0 || at >= count) return;
      std::vector<QString>& texts = Cache_[static_cast<size_t>(at)];
      texts.clear();
      for (TField* f : fields) texts.push_back(f == nullptr ? QString() : FieldToQString(f->DisplayText()));
    };
  };
  const bool browsing = ds->State() == TDataSetState::dsBrowse;
  const bool far = std::abs(start - CurrentRow_) > 2 * FetchSize_;
  if (!far || !browsing || ds->RecNo() <= 0) {
    ds->ReadRecords(start - CurrentRow_, count, fill(CurrentRow_));
    return;
  }
  // Far from the current record: stand on the first row wanted, read, and come back.
  Internal_ = true;
  ds->DisableControls();
  try {
    const TBookmark back = ds->GetBookmark();
    ds->SetRecNo(start + 1);
    const int32_t at = ds->RecNo() - 1;
    ds->ReadRecords(start - at, count, fill(at));
    ds->GotoBookmark(back);
  } catch (...) {
    ds->EnableControls();
    Internal_ = false;
    throw;
  }
  ds->EnableControls();
  Internal_ = false;
}

int TwwGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RowCount_; }

int TwwGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Columns_.size());
}

QVariant TwwGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount_ || index.column() >= columnCount()) return {};
  const int row = index.row();
  if (role == Qt::BackgroundRole) {
    if (row == CurrentRow_ && CurrentRowColor.isValid()) return CurrentRowColor;
    return {};
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  int at = row - CacheStart_;
  if (at < 0 || at >= static_cast<int>(Cache_.size()) || Cache_[static_cast<size_t>(at)].empty()) {
    try {
      Fetch(row);
    } catch (const std::exception&) {
      Cache_.clear();
      return {};
    }
    at = row - CacheStart_;
    if (at < 0 || at >= static_cast<int>(Cache_.size())) return {};
  }
  const std::vector<QString>& texts = Cache_[static_cast<size_t>(at)];
  if (texts.empty()) return QString();
  return texts[static_cast<size_t>(index.column())];
}

QVariant TwwGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columnCount())
    return Columns_[static_cast<size_t>(section)].Title;
  if (orientation == Qt::Vertical && role == Qt::DisplayRole) return QString();
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TwwGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (!index.isValid() || ReadOnly) return f;
  TDataSet* ds = DataSet();
  if (ds == nullptr || !ds->CanModify()) return f;
  TField* field = ds->FindField(QStringToField(Columns_[static_cast<size_t>(index.column())].FieldName));
  if (field != nullptr && !field->ReadOnly()) f |= Qt::ItemIsEditable;
  return f;
}

bool TwwGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || ReadOnly) return false;
  TDataSet* ds = DataSet();
  if (ds == nullptr) return false;
  const bool ok = CallHandler([&] {
    if (index.row() != CurrentRow_) SetCurrentRow(index.row());
    TField& field = ds->FieldByName(QStringToField(Columns_[static_cast<size_t>(index.column())].FieldName));
    if (!Link_->Edit()) return;
    if (value.typeId() == QMetaType::QDate) SetFieldDate(field, value.toDate());
    else field.SetAsString(QStringToField(value.toString()));
  });
  return ok;
}

// ---------------------------------------------------------------- TwwDBGrid

namespace {

// The cell editors of a grid, chosen by the column's editor kind.
class TGridDelegate : public QStyledItemDelegate {
public:
  explicit TGridDelegate(TwwDBGrid& grid) : QStyledItemDelegate(&grid), Grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const TwwGridColumn* c = Grid_.horizontalHeaderItem(index.column());
    if (c == nullptr) return QStyledItemDelegate::createEditor(parent, option, index);
    emit const_cast<TwwDBGrid&>(Grid_).EditorEnter(c->FieldName);
    switch (c->Editor) {
      case TGridEditorKind::geDate: {
        auto* e = new QDateEdit(parent);
        e->setCalendarPopup(true);
        e->setDisplayFormat(QtDateFormat(FormatSettings().ShortDateFormat));
        return e;
      }
      case TGridEditorKind::geDropDown: {
        auto* e = new QComboBox(parent);
        e->setEditable(true);
        e->setInsertPolicy(QComboBox::NoInsert);
        e->addItems(c->ItemsProvider ? c->ItemsProvider() : c->Items);
        return e;
      }
      case TGridEditorKind::geText: break;
    }
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* d = qobject_cast<QDateEdit*>(editor)) {
      TDateTime value = 0;
      if (TryStrToDate(QStringToField(text), value, FormatSettings())) {
        int y = 0, m = 0, dd = 0;
        DecodeDate(value, y, m, dd);
        d->setDate(QDate(y, m, dd));
      } else {
        d->setDate(QDate::currentDate());
      }
    } else if (auto* c = qobject_cast<QComboBox*>(editor)) {
      c->setCurrentText(text);
    } else {
      QStyledItemDelegate::setEditorData(editor, index);
    }
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* d = qobject_cast<QDateEdit*>(editor)) model->setData(index, d->date(), Qt::EditRole);
    else if (auto* c = qobject_cast<QComboBox*>(editor)) model->setData(index, c->currentText(), Qt::EditRole);
    else QStyledItemDelegate::setModelData(editor, model, index);
  }

private:
  TwwDBGrid& Grid_;
};

}  // namespace

TwwDBGrid::TwwDBGrid(QWidget* parent) : QTableView(parent), Model_(new TwwGridModel(this)) {
  setModel(Model_);
  setItemDelegate(new TGridDelegate(*this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAlternatingRowColors(true);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setFixedWidth(14);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (TitleButtons_) emit TitleButtonClick(ColumnFieldName(column));
  });
  connect(Model_, &TwwGridModel::CurrentRowChanged, this, [this](int, int current) { FollowDataSet(current); });
  connect(Model_, &QAbstractItemModel::modelReset, this, [this] { FollowDataSet(Model_->CurrentRow()); });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) {
            if (Following_ || !current.isValid()) return;
            CallHandler([this, &current] { Model_->SetCurrentRow(current.row()); });
          });
}

TwwDBGrid::~TwwDBGrid() {
  // The model's link leaves its data source before the view goes.
  Model_->SetDataSource(nullptr);
}

void TwwDBGrid::FollowDataSet(int current) {
  if (current < 0 || current >= Model_->rowCount()) return;
  Following_ = true;
  const QModelIndex at = Model_->index(current, std::max(0, currentIndex().column()));
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(at);
  Following_ = false;
}

void TwwDBGrid::AddColumn(const QString& fieldName, const QString& displayLabel, int displayWidth) {
  TwwGridColumn c;
  c.FieldName = fieldName;
  c.Title = displayLabel;
  c.DisplayWidth = displayWidth;
  Model_->AddColumn(c);
  setColumnWidth(Model_->columnCount() - 1, DisplayWidthToPixels(fontMetrics(), displayWidth));
}

QString TwwDBGrid::ColumnFieldName(int column) const {
  const TwwGridColumn* c = horizontalHeaderItem(column);
  return c == nullptr ? QString() : c->FieldName;
}

int TwwDBGrid::columnCount() const { return Model_->columnCount(); }

const TwwGridColumn* TwwDBGrid::horizontalHeaderItem(int column) const {
  if (column < 0 || column >= Model_->columnCount()) return nullptr;
  return &Model_->Columns()[static_cast<size_t>(column)];
}

void TwwDBGrid::SetColumnEditor(const QString& fieldName, TGridEditorKind kind, const QStringList& items,
                                std::function<QStringList()> provider) {
  for (TwwGridColumn& c : Model_->Columns()) {
    if (c.FieldName.compare(fieldName, Qt::CaseInsensitive) != 0) continue;
    c.Editor = kind;
    c.Items = items;
    c.ItemsProvider = std::move(provider);
    return;
  }
}

void TwwDBGrid::SetColumnItems(const QString& fieldName, const QStringList& items) {
  for (TwwGridColumn& c : Model_->Columns())
    if (c.FieldName.compare(fieldName, Qt::CaseInsensitive) == 0) c.Items = items;
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
  Model_->CurrentRowColor = value;
}

// ---------------------------------------------------------------- TwwKeyCombo

TwwKeyCombo::TwwKeyCombo(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, [this](int at) {
    if (!Host_.SetIndexName || at < 0) return;
    const std::string name = QStringToField(itemText(at));
    CallHandler([this, &name] { Host_.SetIndexName(name); });
  });
}

void TwwKeyCombo::SetIndexHost(TIndexHost value) {
  Host_ = std::move(value);
  RefreshList();
}

void TwwKeyCombo::RefreshList() {
  QStringList names;
  if (Host_.IndexNames)
    for (const std::string& n : Host_.IndexNames()) if (!n.empty()) names << FieldToQString(n);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
  });
  const QSignalBlocker quiet(this);
  clear();
  addItems(names);
  const QString current = Host_.IndexName ? FieldToQString(Host_.IndexName()) : QString();
  setCurrentIndex(current.isEmpty() ? -1 : findText(current, Qt::MatchFixedString));
}

// ---------------------------------------------------------------- TwwIncrementalSearch

TwwIncrementalSearch::TwwIncrementalSearch(QWidget* parent)
    : QLineEdit(parent), Link_(std::make_unique<TDataLink>()) {
  connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
    CallHandler([this, &text] { Search(text); });
  });
}

TwwIncrementalSearch::~TwwIncrementalSearch() = default;

void TwwIncrementalSearch::SetDataSource(TDataSource* value) { Link_->SetDataSource(value); }

TField* TwwIncrementalSearch::SearchField() const {
  TDataSet* ds = Link_->Active() ? Link_->DataSet() : nullptr;
  if (ds == nullptr || ds->FieldCount() == 0) return nullptr;
  if (Host_.IndexFieldNames) {
    const std::string fields = Host_.IndexFieldNames();
    const std::string first = fields.substr(0, fields.find(';'));
    if (!first.empty())
      if (TField* f = ds->FindField(first)) return f;
  }
  return &ds->Fields()[0];
}

bool TwwIncrementalSearch::Search(const QString& typed) {
  TDataSet* ds = Link_->Active() ? Link_->DataSet() : nullptr;
  TField* field = SearchField();
  if (ds == nullptr || field == nullptr) return false;
  if (typed.isEmpty()) {
    ds->First();
    return !ds->IsEmpty();
  }
  const std::vector<Variant> values = {Variant::FromString(QStringToField(typed))};
  if (!ds->Locate(field->FieldName(), values, TLocateOptions{TLocateOption::loPartialKey, TLocateOption::loCaseInsensitive}))
    return false;
  const QString shown = FieldToQString(field->AsString());
  const QSignalBlocker quiet(this);
  setText(shown);
  setSelection(static_cast<int>(typed.size()), static_cast<int>(shown.size() - typed.size()));
  return true;
}

// ---------------------------------------------------------------- bound editors

TwwDBEdit::TwwDBEdit(QWidget* parent) : QLineEdit(parent), Link_(std::make_unique<TFieldDataLink>()) {
  Link_->OnDataChange = [this] {
    Loading_ = true;
    TField* f = Link_->Field();
    setText(f == nullptr ? QString() : FieldToQString(f->Text()));
    setModified(false);
    Loading_ = false;
  };
  Link_->OnUpdateData = [this] {
    if (!isModified()) return;
    if (TField* f = Link_->Field()) f->SetAsString(QStringToField(text()));
    setModified(false);
  };
  connect(this, &QLineEdit::textEdited, this, [this] {
    if (!Loading_) CallHandler([this] { Link_->EditFromControl(); });
  });
  connect(this, &QLineEdit::editingFinished, this, [this] {
    CallHandler([this] {
      if (Link_->Editing()) Link_->UpdateRecord();
    });
  });
}

TwwDBEdit::~TwwDBEdit() = default;

TwwDBComboBox::TwwDBComboBox(QWidget* parent) : QComboBox(parent), Link_(std::make_unique<TFieldDataLink>()) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  Link_->OnDataChange = [this] { Load(); };
  Link_->OnUpdateData = [this] {
    if (TField* f = Link_->Field())
      if (FieldToQString(f->Text()) != currentText()) f->SetAsString(QStringToField(currentText()));
  };
  connect(this, &QComboBox::currentTextChanged, this, [this] {
    if (Loading_) return;
    CallHandler([this] {
      TField* f = Link_->Field();
      if (f != nullptr && FieldToQString(f->Text()) != currentText() && EditableField(*Link_) != nullptr)
        Link_->UpdateRecord();
    });
  });
}

TwwDBComboBox::~TwwDBComboBox() = default;

void TwwDBComboBox::Load() {
  Loading_ = true;
  TField* f = Link_->Field();
  setCurrentText(f == nullptr ? QString() : FieldToQString(f->Text()));
  Loading_ = false;
}

void TwwDBComboBox::SetItems(const QStringList& items) {
  Loading_ = true;
  const QString text = currentText();
  clear();
  addItems(items);
  setCurrentText(text);
  Loading_ = false;
}

void TwwDBComboBox::focusInEvent(QFocusEvent* event) {
  emit EnterField();
  if (ItemsProvider) SetItems(ItemsProvider());
  QComboBox::focusInEvent(event);
}

TwwDBSpinEdit::TwwDBSpinEdit(QWidget* parent) : QSpinBox(parent), Link_(std::make_unique<TFieldDataLink>()) {
  setSingleStep(1);
  setRange(-2147483647, 2147483647);
  Link_->OnDataChange = [this] {
    Loading_ = true;
    TField* f = Link_->Field();
    bool ok = false;
    const int v = f == nullptr ? 0 : FieldToQString(f->Text()).trimmed().toInt(&ok);
    setValue(ok ? v : 0);
    Loading_ = false;
  };
  connect(this, &QSpinBox::valueChanged, this, [this](int v) {
    if (Loading_) return;
    CallHandler([this, v] {
      if (TField* f = EditableField(*Link_)) f->SetAsString(std::to_string(v));
    });
  });
}

TwwDBSpinEdit::~TwwDBSpinEdit() = default;

TwwDBDateTimePicker::TwwDBDateTimePicker(QWidget* parent)
    : QDateEdit(parent), Link_(std::make_unique<TFieldDataLink>()) {
  setCalendarPopup(true);
  setDisplayFormat(QtDateFormat(FormatSettings().ShortDateFormat));
  Link_->OnDataChange = [this] {
    Loading_ = true;
    QDate d;
    TField* f = Link_->Field();
    setDate(f != nullptr && FieldDate(*f, d) ? d : minimumDate());
    Loading_ = false;
  };
  connect(this, &QDateEdit::dateChanged, this, [this](const QDate& d) {
    if (Loading_) return;
    CallHandler([this, d] {
      if (TField* f = EditableField(*Link_)) SetFieldDate(*f, d);
    });
  });
}

TwwDBDateTimePicker::~TwwDBDateTimePicker() = default;

// ---------------------------------------------------------------- TfcProgressBar

TfcProgressBar::TfcProgressBar(QWidget* parent) : QProgressBar(parent) {
  connect(this, &QProgressBar::valueChanged, this, [this] {
    if (OnChange) OnChange(*this);
  });
}

void TfcProgressBar::SetPosition(int value) { setValue(value); }

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
