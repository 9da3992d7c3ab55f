#include "dbconfig/ConnectString.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

const QString Mask = u"****"_s;

// Upper-cases ASCII letters only, so that every position of the copy is the same position of
// the original (a full Unicode upper-casing may change the length: "ß" becomes "SS").
QString asciiUpper(const QString& text)
{
    QString upper = text;
    for (QChar& c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return upper;
}

bool isPasswordKey(QStringView key)
{
    const QString upper = asciiUpper(key.trimmed().toString());
    return upper == u"PWD" || upper.endsWith(u"PASSWORD");
}

// Where a value that starts at `from` ends: a value opened by a quote or a brace runs to the
// matching closer (ODBC and OLE DB allow ";" inside such values), any other to the next ";".
qsizetype valueEnd(const QString& text, qsizetype from)
{
    qsizetype start = from;
    while (start < text.size() && text.at(start) == u' ')
        ++start;
    if (start < text.size()) {
        const QChar open = text.at(start);
        const QChar close = open == u'{' ? u'}' : open;
        if (open == u'"' || open == u'\'' || open == u'{') {
            const qsizetype closer = text.indexOf(close, start + 1);
            if (closer >= 0) {
                const qsizetype semicolon = text.indexOf(u';', closer + 1);
                return semicolon < 0 ? text.size() : semicolon;
            }
        }
    }
    const qsizetype semicolon = text.indexOf(u';', from);
    return semicolon < 0 ? text.size() : semicolon;
}

} // namespace

QString connectStringValue(const QString& connectString, QStringView keyWithEquals)
{
    const qsizetype at = asciiUpper(connectString).indexOf(asciiUpper(keyWithEquals.toString()));
    if (at < 0)
        return {};
    const qsizetype from = at + keyWithEquals.size();
    const qsizetype semicolon = connectString.indexOf(u';', from);
    return connectString.mid(from, semicolon < 0 ? -1 : semicolon - from);
}

QString oracleDirectConnectString(const QString& oleDbString)
{
    const QString password = connectStringValue(oleDbString, u"PASSWORD=");
    const QString user = connectStringValue(oleDbString, u"USER ID=");
    const QString dataSource = connectStringValue(oleDbString, u"DATA SOURCE=");
    return user + u'/' + password + u'@' + dataSource;
}

QString maskConnectStringPasswords(const QString& connectString)
{
    // The direct Oracle form, user/password@source: the user comes first and holds neither
    // "=" nor ";", while the password and the source may (a TNS descriptor such as
    // "(DESCRIPTION=(ADDRESS=...))" is full of "="), so the form is told by where the slash is.
    const qsizetype slash = connectString.indexOf(u'/');
    const qsizetype firstEquals = connectString.indexOf(u'=');
    const qsizetype firstSemicolon = connectString.indexOf(u';');
    if (slash >= 0 && (firstEquals < 0 || slash < firstEquals) &&
        (firstSemicolon < 0 || slash < firstSemicolon)) {
        // The source starts at the "@" before a descriptor's first "(", else at the last "@".
        const qsizetype paren = connectString.indexOf(u'(', slash + 1);
        qsizetype at = paren < 0 ? -1 : connectString.lastIndexOf(u'@', paren);
        if (at <= slash)
            at = connectString.lastIndexOf(u'@');
        if (at > slash + 1)
            return connectString.left(slash + 1) + Mask + connectString.mid(at);
        // user/password alone connects to the default database: still a password.
        if (at < 0 && slash + 1 < connectString.size())
            return connectString.left(slash + 1) + Mask;
        if (at == slash + 1 || firstEquals < 0)
            return connectString;
    }

    QString result;
    qsizetype pos = 0;
    while (pos < connectString.size()) {
        const qsizetype equals = connectString.indexOf(u'=', pos);
        const qsizetype semicolon = connectString.indexOf(u';', pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A part without "=": kept as it is.
            const qsizetype end = semicolon < 0 ? connectString.size() : semicolon + 1;
            result += QStringView(connectString).mid(pos, end - pos);
            pos = end;
            continue;
        }
        const qsizetype end = valueEnd(connectString, equals + 1);
        const QStringView key = QStringView(connectString).mid(pos, equals - pos);
        result += QStringView(connectString).mid(pos, equals + 1 - pos);
        if (isPasswordKey(key) && end > equals + 1)
            result += Mask;
        else
            result += QStringView(connectString).mid(equals + 1, end - equals - 1);
        if (end < connectString.size())
            result += u';';
        pos = end + 1;
    }
    return result;
}

} // namespace zul
