#pragma once

#include <QString>
#include <QStringView>

namespace zul {

// Connection strings are lists of key=value pairs separated by ";" (OLE DB, ODBC and the
// forms of the embedded and PostgreSQL kinds: "Data Source=FILE",
// "Server=…;Port=…;Database=…;User ID=…;Password=…").

// The value after the first occurrence of `keyWithEquals` (for example u"PASSWORD="), the key
// matched without regard to ASCII case, up to the next ";" or the end; the value keeps its
// letter case. Empty when the key does not occur.
QString connectStringValue(const QString& connectString, QStringView keyWithEquals);

// The direct Oracle driver's form of an OLE DB style string: user "/" password "@" data source.
QString oracleDirectConnectString(const QString& oleDbString);

// The string with the value of every password key (Password, PWD, "… Password", any case)
// replaced by "****", and the password of the user/password@source form as well. For showing
// a profile to a person; never used to connect.
QString maskConnectStringPasswords(const QString& connectString);

} // namespace zul
