#include "db/SqlText.h"

using namespace Qt::StringLiterals;

namespace zul::db {

namespace {
bool nameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool namePart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#';
}
} // namespace

PositionalSql ToPositional(const QString& sql)
{
    PositionalSql out;
    out.text.reserve(sql.size());
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == u'\'' || c == u'"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? n : end + 1;
            out.text += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            qsizetype end = sql.indexOf(u'\n', i);
            end = end < 0 ? n : end;
            out.text += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            const qsizetype end = sql.indexOf(u"*/"_s, i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            out.text += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u':' && i + 1 < n && sql.at(i + 1) == u':') {
            out.text += u"::"_s;
            i += 2;
        } else if (c == u':' && i + 1 < n && nameStart(sql.at(i + 1)) &&
                   (i == 0 || !namePart(sql.at(i - 1)))) {
            qsizetype j = i + 1;
            while (j < n && namePart(sql.at(j)))
                ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            out.occurrences << name;
            bool known = false;
            for (const QString& seen : std::as_const(out.names))
                known = known || seen.compare(name, Qt::CaseInsensitive) == 0;
            if (!known)
                out.names << name;
            out.text += u'?';
            i = j;
        } else {
            out.text += c;
            ++i;
        }
    }
    return out;
}

} // namespace zul::db
