-- zul: tables the turnstile manager reads and writes, SQLite.
-- Dates are TEXT 'YYYY-MM-DD HH:MM:SS' in local time (what DATETIME('now', 'localtime')
-- gives), so MAX() and comparisons order them as times.

CREATE TABLE PESSOA (
    NRPESSOA        VARCHAR(10) NOT NULL PRIMARY KEY CHECK (NRPESSOA <> ''),
    CDFUNC          VARCHAR(10),
    CDEMPRESA       VARCHAR(2),
    NMCRACHAPESSOA  VARCHAR(40), -- wider than the display: longer names are shown unchanged
    IDACESSOCATRACA CHAR(1)     NOT NULL DEFAULT 'N'
);

CREATE TABLE REGISCATRACA (
    NRPESSOA       VARCHAR(10) NOT NULL,
    IDREGISCATRACA CHAR(1)     NOT NULL,
    DTREGISCATRACA TEXT        NOT NULL
);

CREATE TABLE BATIDAPONTO (
    CDFUNC       VARCHAR(10) NOT NULL,
    CDEMPRESA    VARCHAR(2)  NOT NULL,
    IDSENTBATIDA CHAR(1)     NOT NULL,
    DTBATIDAPTO  TEXT        NOT NULL
);

CREATE TABLE DIGITALCATRACA (
    NRPESSOA        VARCHAR(10) NOT NULL,
    TXDIGITALCATRAC BLOB        NOT NULL
);

-- Last movement of a person and last punch of an employee: the MAX() sub-select and the
-- outer match are both answered from these indexes.
CREATE INDEX IX_REGISCATRACA_PESSOA_DATA ON REGISCATRACA (NRPESSOA, DTREGISCATRACA);
CREATE INDEX IX_BATIDAPONTO_FUNC_DATA ON BATIDAPONTO (CDFUNC, CDEMPRESA, DTBATIDAPTO);
CREATE INDEX IX_DIGITALCATRACA_PESSOA ON DIGITALCATRACA (NRPESSOA);
