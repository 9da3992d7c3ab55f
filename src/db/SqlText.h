#pragma once

#include <QString>
#include <QStringList>

namespace zul::db {

// A statement with named placeholders (":NAME") turned into the positional form every Qt
// driver accepts. Quoted texts, quoted names, comments and "::" casts are left alone.
struct PositionalSql
{
    QString text;            // placeholders replaced by "?"
    QStringList occurrences; // the name behind each "?", in order
    QStringList names;       // distinct names (first spelling), in order of first use
};

PositionalSql ToPositional(const QString& sql);

} // namespace zul::db
