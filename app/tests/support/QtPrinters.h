#pragma once
// Qt texts in test failure messages.
#include <ostream>

#include <QByteArray>
#include <QString>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.left(200).toStdString() << '"'; }
QT_END_NAMESPACE
