#pragma once

// The server type is shared with the connection profiles (dbconfig/). Until that header is in
// the tree the same enumeration is declared here, with the same names and values.
#if __has_include("dbconfig/DbTypes.h")
#include "dbconfig/DbTypes.h"
#else
#include <cstdint>

namespace zul {

enum TXDBType : std::uint8_t {
    xdtCR_Oracle = 0,
    xdtCR_MSSQL = 1,
    xdtADO_Oracle = 2,
    xdtADO_MSSQL = 3,
    xdtSQLite = 4,
    xdtPostgreSQL = 5,
};

constexpr bool isDirectFamily(TXDBType type)
{
    return type == xdtCR_Oracle || type == xdtCR_MSSQL;
}

constexpr bool isOleDbFamily(TXDBType type)
{
    return type == xdtADO_Oracle || type == xdtADO_MSSQL;
}

} // namespace zul
#endif
