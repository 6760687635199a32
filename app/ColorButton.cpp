// Owner-drawn colour button.
#include "app/ColorButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>

TColorButton::TColorButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  const QPalette& pal = palette();
  BackColor_ = pal.color(QPalette::Button);
  ForeColor_ = pal.color(QPalette::ButtonText);
  HoverColor_ = pal.color(QPalette::Button);
  setAttribute(Qt::WA_Hover);
  // The window's modal result is set before the click handlers run.
  connect(this, &QPushButton::clicked, this, [this] {
    if (ModalResult_ == TModalResult::None) return;
    if (auto* form = qobject_cast<TForm*>(window())) form->SetModalResult(ModalResult_);
  });
}

void TColorButton::SetBackColor(const QColor& value) {
  if (value == BackColor_) return;
  BackColor_ = value;
  update();
}

void TColorButton::SetForeColor(const QColor& value) {
  if (value == ForeColor_) return;
  ForeColor_ = value;
  update();
}

void TColorButton::SetHoverColor(const QColor& value) {
  if (value == HoverColor_) return;
  HoverColor_ = value;
  update();
}

bool TColorButton::Cancel() const { return CancelKey_ != nullptr && CancelKey_->isEnabled(); }

void TColorButton::SetCancel(bool value) {
  if (CancelKey_ == nullptr) {
    if (!value) return;
    CancelKey_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    CancelKey_->setContext(Qt::WindowShortcut);
    connect(CancelKey_, &QShortcut::activated, this, [this] {
      if (isEnabled() && isVisible()) click();
    });
  }
  CancelKey_->setEnabled(value);
}

void TColorButton::enterEvent(QEnterEvent* event) {
  QPushButton::enterEvent(event);
  SavedBackColor_ = BackColor_;
  MouseInside_ = true;
  SetBackColor(HoverColor_);
}

void TColorButton::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  if (!MouseInside_) return;
  MouseInside_ = false;
  SetBackColor(SavedBackColor_);
}

void TColorButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const QRect full = rect();
  QRect r = full;
  const bool pushed = isDown();
  const bool focused = hasFocus();
  const bool isdefault = isDefault();

  // A default or focused button gets a one-pixel frame in the window-frame colour.
  if (isdefault || focused) {
    p.setPen(pal.color(QPalette::WindowText));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    r.adjust(1, 1, -1, -1);
  }
  if (pushed) {
    p.setPen(pal.color(QPalette::Dark));
    p.setBrush(pal.color(QPalette::Button));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    r.adjust(1, 1, -1, -1);
  } else {
    qDrawWinButton(&p, r, pal, false, nullptr);
    r.adjust(2, 2, -2, -2);
  }

  p.fillRect(r, BackColor_);
  QRect textRect = r;
  if (pushed) textRect.translate(1, 1);
  const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
  if (!isEnabled()) {
    // The disabled-text effect: the caption embossed in highlight and shadow colours.
    p.setPen(pal.color(QPalette::Light));
    p.drawText(textRect.translated(1, 1), flags, text());
    p.setPen(pal.color(QPalette::Dark));
    p.drawText(textRect, flags, text());
  } else {
    p.setPen(ForeColor_);
    p.drawText(textRect, flags, text());
  }

  if (isdefault && focused) {
    QPen dots(pal.color(QPalette::WindowText), 1, Qt::DotLine);
    p.setPen(dots);
    p.setBrush(Qt::NoBrush);
    p.drawRect(full.adjusted(4, 4, -5, -5));
  }
}
