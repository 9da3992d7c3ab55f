#pragma once

#include <QString>

namespace zul {

// The person identified last at the turnstile.
struct TUserDados
{
    QString PersonNumber; // up to 10 characters, the database's NRPESSOA and the controller's user code
    QString BadgeName;
    bool IsEntry = false;
};

} // namespace zul
