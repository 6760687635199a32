// TColorButton: the push button of nearly every window of the program. It paints itself in a
// background and a caption colour of its own, shows a hover colour while the mouse is over it,
// and carries a modal result that closes its modal window when clicked.
#pragma once

#include "platform/ui/Forms.h"

#include <QColor>
#include <QPushButton>

class QShortcut;

class TColorButton : public QPushButton {
  Q_OBJECT

public:
  // caption: the button text ("&" marks the access key); parent: owning widget
  explicit TColorButton(const QString& caption = QString(), QWidget* parent = nullptr);

  // Background; default the system button-face colour. Setting a new value repaints.
  QColor BackColor() const { return BackColor_; }
  void SetBackColor(const QColor& value);
  // Caption colour; default the system button-text colour.
  QColor ForeColor() const { return ForeColor_; }
  void SetForeColor(const QColor& value);
  // Background while the mouse is over the button; default the system button-face colour.
  QColor HoverColor() const { return HoverColor_; }
  void SetHoverColor(const QColor& value);

  // Given to the button's window as its modal result when the button is clicked.
  TModalResult ModalResult() const { return ModalResult_; }
  void SetModalResult(TModalResult value) { ModalResult_ = value; }
  // The default button answers Enter; the cancel button answers Escape in its window.
  bool Default() const { return isDefault(); }
  void SetDefault(bool value) { setDefault(value); }
  bool Cancel() const;
  void SetCancel(bool value);

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;  // saves BackColor, shows HoverColor
  void leaveEvent(QEvent* event) override;       // restores the saved colour

private:
  QColor BackColor_;                            // background
  QColor ForeColor_;                            // caption colour
  QColor HoverColor_;                           // background while hovered
  QColor SavedBackColor_;                       // background saved when the mouse came in
  bool MouseInside_ = false;                    // SavedBackColor_ holds a colour to restore
  TModalResult ModalResult_ = TModalResult::None;  // result for the window
  QShortcut* CancelKey_ = nullptr;              // Escape shortcut, enabled while Cancel; owned (Qt child)
};
