// Readable test failure output for Qt values.
#pragma once

#include <QColor>
#include <QPoint>
#include <QSize>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& value, std::ostream* os) { *os << '"' << value.toStdString() << '"'; }
inline void PrintTo(const QColor& value, std::ostream* os) { *os << value.name(QColor::HexArgb).toStdString(); }
inline void PrintTo(const QPoint& value, std::ostream* os) { *os << '(' << value.x() << ", " << value.y() << ')'; }
inline void PrintTo(const QSize& value, std::ostream* os) { *os << value.width() << 'x' << value.height(); }
