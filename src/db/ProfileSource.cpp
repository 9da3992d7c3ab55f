#include "db/ProfileSource.h"

namespace zul::db {

namespace {
ProfileSource& source()
{
    static ProfileSource s;
    return s;
}
} // namespace

void SetProfileSource(ProfileSource s)
{
    source() = std::move(s);
}

TXDBType ProfileServerType(const QString& code)
{
    return source().serverTypeForProfile ? source().serverTypeForProfile(code) : xdtSQLite;
}

bool ProfilePooling()
{
    return source().pooling ? source().pooling() : false;
}

int ProfileMaxPoolSize()
{
    return source().maxPoolSize ? source().maxPoolSize() : 100;
}

int ProfileMinPoolSize()
{
    return source().minPoolSize ? source().minPoolSize() : 0;
}

} // namespace zul::db
