#pragma once

#include "db/DriverFamily.h"

#include <QStringList>

namespace zul::db {

// The statements the turnstile manager runs, by the component that runs them.
enum class StatementId {
    Pessoa,       // xqrPessoa: person and badge name (P_NRPESSOA)
    Sentido,      // xqrSentido: last passage of a person (P_NRPESSOA, P_NRPESSOA2)
    BatidaPonto,  // xqrBatidaPonto: last punch of an employee (P_CDFUNC, P_CDEMPRESA, …2)
    HoraServ,     // xqrHoraServ: the database server's clock (HORAATUAL)
    Registro,     // xcmRegistro: a passage (NRPESSOA, IDREGISCATRACA)
    TemplatesAll, // xqrTemplatesAll: every template of people with turnstile access
    Templates,    // xqrTemplates: templates whose person number occurs in P_NRPESSOA
    // xcmRegistroPendente: a passage kept while the database was unreachable, written with
    // the time it happened (NRPESSOA, IDREGISCATRACA, DTREGISCATRACA as "YYYY-MM-DD HH:MM:SS"
    // in the server's local time). Nothing is written when the same row is already there, so
    // writing the same passage twice leaves one row.
    RegistroPendente,
    TemplatesOf, // the templates of exactly the person P_NRPESSOA, found through the key
    Verifica,    // xcmVerifica: the cheapest statement the server must answer (the periodic check)
    // The person number of every row of TemplatesAll, in a query that needs no template: what a
    // synchronisation compares with the controller's list before it reads any template.
    TemplateNumbersAll,
};

// The text of a statement in a dialect, as lines. The Oracle texts are the reference; the
// others give the same rows: badge names of 17 to 20 characters cut after their first blank
// (empty when the first 20 characters hold none), the tied rows of a person's latest moment
// all returned, and times taken from the server's clock to the second.
QStringList StatementText(StatementId id, SqlDialect dialect);

} // namespace zul::db
