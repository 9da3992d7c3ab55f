#pragma once

#include <cstdint>
#include <string_view>

namespace zul {

// Server type of a database component: which driver family and which SQL dialect it uses.
// Stored as one byte; the first four values keep their historical numbers because form files
// and peers store them.
enum TXDBType : std::uint8_t {
    xdtCR_Oracle = 0,  // direct Oracle driver
    xdtCR_MSSQL = 1,   // direct SQL Server driver
    xdtADO_Oracle = 2, // OLE DB connection string, Oracle server
    xdtADO_MSSQL = 3,  // OLE DB connection string, SQL Server
    xdtSQLite = 4,     // embedded SQLite file ("UsedDatabase" = "SQLITE")
    xdtPostgreSQL = 5, // PostgreSQL server ("UsedDatabase" = "POSTGRESQL")
};

// The two direct families talk to their server without an OLE DB connection string.
constexpr bool isDirectFamily(TXDBType type)
{
    return type == xdtCR_Oracle || type == xdtCR_MSSQL;
}

constexpr bool isOleDbFamily(TXDBType type)
{
    return type == xdtADO_Oracle || type == xdtADO_MSSQL;
}

constexpr std::string_view txdbTypeName(TXDBType type)
{
    switch (type) {
    case xdtCR_Oracle:
        return "xdtCR_Oracle";
    case xdtCR_MSSQL:
        return "xdtCR_MSSQL";
    case xdtADO_Oracle:
        return "xdtADO_Oracle";
    case xdtADO_MSSQL:
        return "xdtADO_MSSQL";
    case xdtSQLite:
        return "xdtSQLite";
    case xdtPostgreSQL:
        return "xdtPostgreSQL";
    }
    return "?";
}

} // namespace zul
