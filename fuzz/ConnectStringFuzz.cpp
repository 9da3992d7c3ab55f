// Connection strings and the profile value names they are found under. Besides not crashing:
// a password put into any of the forms is never shown by the mask.
#include "dbconfig/ConnectString.h"
#include "dbconfig/ConnectionProfiles.h"
#include "support/Win1252.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

void mustHide(const QString& shown, const QString& expected)
{
    if (shown != expected) {
        std::fprintf(stderr, "mask shows '%s', expected '%s'\n", qUtf8Printable(shown),
                     qUtf8Printable(expected));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = zul::fromWin1252(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    zul::connectStringValue(text, u"PASSWORD=");
    zul::oracleDirectConnectString(text);
    zul::maskConnectStringPasswords(text);
    if (const auto table = zul::ConnectionProfiles::tableOf(text))
        zul::ConnectionProfiles::codeOf(text, *table);

    // The input as a password of each form. A password that holds the characters ending its
    // form is not representable there, so only the others are checked.
    const QString password = text;
    if (!password.isEmpty() && !password.contains(u';') && !password.startsWith(u' ') &&
        !password.startsWith(u'"') && !password.startsWith(u'\'') && !password.startsWith(u'{')) {
        mustHide(zul::maskConnectStringPasswords(u"Server=h;Password="_s + password + u";User ID=u"_s),
                 u"Server=h;Password=****;User ID=u"_s);
    }
    if (!password.isEmpty() && !password.contains(u'@') && !password.contains(u'(')) {
        const QString source = u"@(DESCRIPTION=(ADDRESS=(HOST=db)(PORT=1521)))"_s;
        mustHide(zul::maskConnectStringPasswords(u"zul/"_s + password + source), u"zul/****"_s + source);
        if (!password.contains(u';'))
            mustHide(zul::maskConnectStringPasswords(zul::oracleDirectConnectString(
                         u"Data Source=db;User ID=zul;Password="_s + password)),
                     u"zul/****@db"_s);
    }
    return 0;
}
