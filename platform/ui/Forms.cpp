// Application object and window base over Qt Widgets.
#include "platform/ui/Forms.h"

#include "platform/rtl/CodePage.h"
#include "platform/ui/Dialogs.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QScreen>

TApplication* Application = nullptr;

// ---------------------------------------------------------------- TForm

TForm::TForm(QWidget* owner) : QWidget(owner, Qt::Window) {}

TForm::~TForm() {
  if (ModalLoop_ != nullptr) ModalLoop_->exit();
}

void TForm::AfterConstruction() {
  CallHandler([this] { FormCreate(); });
}

TModalResult TForm::ShowModal() {
  if (ModalLoop_ != nullptr) return TModalResult::None;  // already modal: one showing at a time
  ModalResult_ = TModalResult::None;
  setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  ModalLoop_ = &loop;
  show();
  raise();
  activateWindow();
  if (isVisible()) loop.exec(QEventLoop::DialogExec);
  ModalLoop_ = nullptr;
  setWindowModality(Qt::NonModal);
  if (ModalResult_ == TModalResult::None) ModalResult_ = TModalResult::Cancel;
  return ModalResult_;
}

void TForm::SetModalResult(TModalResult value) {
  ModalResult_ = value;
  if (value != TModalResult::None && ModalLoop_ != nullptr) close();
}

void TForm::CenterOnScreen() {
  QScreen* s = screen();
  if (s == nullptr) s = QGuiApplication::primaryScreen();
  if (s == nullptr) return;
  const QRect area = s->availableGeometry();
  move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void TForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    CallHandler([this] { FormActivate(); });
  }
}

void TForm::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  if (!CallHandler([this, &canClose] { FormCloseQuery(canClose); })) canClose = false;
  if (!canClose) {
    if (ModalLoop_ != nullptr) ModalResult_ = TModalResult::None;
    event->ignore();
    return;
  }
  CallHandler([this] { FormClose(); });
  event->accept();
  if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

void TForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (ModalLoop_ != nullptr) ModalLoop_->exit();
}

// ---------------------------------------------------------------- TApplication

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  ExeName_ = QCoreApplication::applicationFilePath();
  // The program ends when its main window closes, whatever other windows are still open.
  setQuitOnLastWindowClosed(false);
  Application = this;
}

TApplication::~TApplication() {
  Components_.clear();
  while (!Forms_.empty()) Forms_.pop_back();
  MainForm_ = nullptr;
  if (Application == this) Application = nullptr;
}

void TApplication::AddComponent(std::unique_ptr<QWidget> component) {
  Components_.push_back(std::move(component));
}

std::vector<TForm*> TApplication::Forms() const {
  std::vector<TForm*> result;
  result.reserve(Forms_.size());
  for (const auto& f : Forms_) result.push_back(f.get());
  return result;
}

int TApplication::Run() {
  if (MainForm_ == nullptr) return 0;
  MainForm_->show();
  MainForm_->activateWindow();
  // Windows that stay on top stay above the main window too, with or without a window manager.
  for (QWidget* top : topLevelWidgets()) {
    if (top->isVisible() && top->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) top->raise();
  }
  return exec();
}

void TApplication::Terminate() { quit(); }

void TApplication::ProcessMessages() { processEvents(); }

void TApplication::HandleException(const std::exception& error) {
  // Messages of the run-time and the engine are Windows-1252 bytes.
  HandleException(QString::fromStdU16String(Cp1252ToUtf16(error.what())));
}

void TApplication::HandleException(const QString& message) { DialogService().ShowError(message); }
