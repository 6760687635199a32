// The application object and the window base of the program, on Qt Widgets: forms created in
// a fixed order and owned by the application, modal showing with a modal result, creation,
// activation and close handlers, and the default handler that shows an escaped exception.
#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

class QEventLoop;

// How a modal window ended; None while it is still open.
enum class TModalResult : uint8_t { None, OK, Cancel, Abort, Retry, Ignore, Yes, No };

// A top-level window. Handlers are virtual members that a window class overrides; every call
// into them goes through CallHandler, so an exception they raise reaches the default handler.
class TForm : public QWidget {
  Q_OBJECT

public:
  explicit TForm(QWidget* owner = nullptr);  // owner: an optional parent window (not owning)
  ~TForm() override;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  // Runs FormCreate once the object is complete (the application calls it after construction,
  // so overrides of handlers are in force). A window created outside the application calls it itself.
  void AfterConstruction();

  // Shows the window modally and runs a local event loop until it closes; the result is the
  // modal result set by a button or SetModalResult, Cancel when closed any other way.
  TModalResult ShowModal();
  bool Modal() const { return ModalLoop_ != nullptr; }  // true while ShowModal runs

  TModalResult ModalResult() const { return ModalResult_; }
  // Setting a result other than None while the window is modal closes it.
  void SetModalResult(TModalResult value);

  // Moves the window so that it is centred on its screen's available area.
  void CenterOnScreen();

  // The handlers every window may override; the base ones do nothing.
  virtual void FormCreate() {}
  virtual void FormActivate() {}
  // Asked before the window closes; clearing canClose keeps it open.
  virtual void FormCloseQuery(bool& canClose) { (void)canClose; }
  // Runs however the window closes (button, close box, modal result).
  virtual void FormClose() {}

protected:
  void changeEvent(QEvent* event) override;     // activation -> FormActivate
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery, FormClose, program end for the main window
  void hideEvent(QHideEvent* event) override;    // ends a running ShowModal

private:
  TModalResult ModalResult_ = TModalResult::None;  // result of the current or last modal showing
  QEventLoop* ModalLoop_ = nullptr;                // the loop of a running ShowModal; not owned
};

// The program's application object: a QApplication that owns the program's windows in their
// creation order, knows the program's title and file, and shows unhandled handler errors.
class TApplication : public QApplication {
  Q_OBJECT

public:
  TApplication(int& argc, char** argv);  // argc, argv: as given to main; argc must outlive the object
  ~TApplication() override;             // destroys the windows, last created first
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // The program's title: captions of message boxes. Kept apart from Qt's display name, which
  // Qt would append to every window caption.
  const QString& Title() const { return Title_; }
  void SetTitle(const QString& value) { Title_ = value; }

  // Full path of the program file; the running executable unless set (tests place the program
  // in a directory of their own).
  const QString& ExeName() const { return ExeName_; }
  void SetExeName(const QString& value) { ExeName_ = value; }

  // Creates a window of class T owned by the application, stores it in `reference` (OUT), makes
  // the first form created the main window and then runs its FormCreate.
  template <class T>
  void CreateForm(T*& reference) {
    auto form = std::make_unique<T>();
    reference = form.get();
    Forms_.push_back(std::move(form));
    if (MainForm_ == nullptr) MainForm_ = reference;
    reference->AfterConstruction();
  }

  // Takes ownership of a window that is not one of the program's forms (the start-up splash).
  void AddComponent(std::unique_ptr<QWidget> component);

  TForm* MainForm() const { return MainForm_; }
  // The forms in creation order (not owned by the caller).
  std::vector<TForm*> Forms() const;

  // Shows the main window and runs the event loop until the main window closes; the exit code.
  int Run();
  // Ends the event loop (closing the main window calls it).
  void Terminate();
  // Lets the event loop process pending events.
  void ProcessMessages();

  // The default handler: shows the error's message in an error message box.
  void HandleException(const std::exception& error);
  void HandleException(const QString& message);

private:
  QString Title_;                                     // program title
  QString ExeName_;                                   // program file
  std::vector<std::unique_ptr<TForm>> Forms_;         // owned, in creation order
  std::vector<std::unique_ptr<QWidget>> Components_;  // owned other windows
  TForm* MainForm_ = nullptr;                         // the first form; owned through Forms_
};

// The application object of the process (not owned; set while a TApplication exists).
extern TApplication* Application;

// Calls a handler; an exception it raises goes to the default handler instead of unwinding
// through the toolkit. Result: true when the handler returned normally.
template <class F>
bool CallHandler(F&& handler) {
  try {
    std::forward<F>(handler)();
    return true;
  } catch (const std::exception& error) {
    if (Application != nullptr) Application->HandleException(error);
  } catch (...) {
    if (Application != nullptr) Application->HandleException(QStringLiteral("Unknown error"));
  }
  return false;
}
