#pragma once

#include "db/DriverFamily.h"

#include <QStringList>

namespace zul {

class TXConnection;

// zul-admin db init (--sqlite FILE | --postgres CONNECTION) [--demo]
// Creates the tables and indexes of the turnstile manager in a SQLite file (created when
// missing) or a PostgreSQL database ("Server=…;Port=…;Database=…;User ID=…;Password=…"), and with
// --demo fills them with demonstration people, movements, punches and templates.
// `args` may start with "db". Returns 0 on success, 1 on a database error, 2 on bad usage.
int runDbCommand(const QStringList& args);

namespace admin {

// The statements of the embedded schema script of a dialect (SQLite and PostgreSQL).
QStringList SchemaStatements(db::SqlDialect dialect);
// Runs the schema script of the connection's dialect; throws zul::Error.
void ApplySchema(TXConnection& connection);
// Inserts the demonstration data; throws zul::Error.
void InsertDemoData(TXConnection& connection);
// An 844-byte template whose bytes 1 to 10 hold the user code.
QByteArray DemoTemplate(const QString& userCode);

} // namespace admin
} // namespace zul
