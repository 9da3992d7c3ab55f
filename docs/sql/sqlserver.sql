-- zul: tables the turnstile manager reads and writes, SQL Server.
-- Person numbers use a binary collation: they are compared with letter case significant,
-- as on the other products.
-- Times are DATETIME2(0), whole seconds as on the other products: a passage written again
-- from the manager's journal is recognised by its person, direction and second.

CREATE TABLE PESSOA (
    NRPESSOA        VARCHAR(10) COLLATE Latin1_General_BIN2 NOT NULL PRIMARY KEY,
    CDFUNC          VARCHAR(10),
    CDEMPRESA       VARCHAR(2),
    NMCRACHAPESSOA  VARCHAR(40), -- wider than the display: longer names are shown unchanged
    IDACESSOCATRACA CHAR(1)     NOT NULL DEFAULT 'N'
);

CREATE TABLE REGISCATRACA (
    NRPESSOA       VARCHAR(10) COLLATE Latin1_General_BIN2 NOT NULL,
    IDREGISCATRACA CHAR(1)     NOT NULL,
    DTREGISCATRACA DATETIME2(0) NOT NULL
);

CREATE TABLE BATIDAPONTO (
    CDFUNC       VARCHAR(10) NOT NULL,
    CDEMPRESA    VARCHAR(2)  NOT NULL,
    IDSENTBATIDA CHAR(1)     NOT NULL,
    DTBATIDAPTO  DATETIME2(0) NOT NULL
);

CREATE TABLE DIGITALCATRACA (
    NRPESSOA        VARCHAR(10) COLLATE Latin1_General_BIN2 NOT NULL,
    TXDIGITALCATRAC VARBINARY(MAX) NOT NULL
);

-- Last movement of a person and last punch of an employee.
CREATE INDEX IX_REGISCATRACA_PESSOA_DATA ON REGISCATRACA (NRPESSOA, DTREGISCATRACA);
CREATE INDEX IX_BATIDAPONTO_FUNC_DATA ON BATIDAPONTO (CDFUNC, CDEMPRESA, DTBATIDAPTO);
CREATE INDEX IX_DIGITALCATRACA_PESSOA ON DIGITALCATRACA (NRPESSOA);
