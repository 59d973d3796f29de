#pragma once

namespace orvelle::devserver {

// Bumped when the tables change; a file with another version is refused
// rather than misread.
inline constexpr int schemaVersion = 1;

inline constexpr const char *schemaSql = R"sql(
CREATE TABLE accounts (
    id INTEGER PRIMARY KEY,
    username TEXT NOT NULL UNIQUE,
    mobile TEXT UNIQUE,
    password TEXT NOT NULL,
    notes_password TEXT NOT NULL,
    jobnumber TEXT, ou1 TEXT, ou2 TEXT, dept TEXT,
    position TEXT, positiongrade TEXT, level TEXT
);
CREATE TABLE tokens (
    token TEXT PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id),
    issued_ms INTEGER NOT NULL
);
CREATE TABLE codes (
    id INTEGER PRIMARY KEY,
    purpose TEXT NOT NULL,
    mobile TEXT NOT NULL,
    code TEXT NOT NULL,
    issued_ms INTEGER NOT NULL,
    used INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE versions (
    edition TEXT PRIMARY KEY,
    v_number INTEGER NOT NULL,
    v_title TEXT, v_address TEXT, v_meno TEXT
);
CREATE TABLE checkpoints (
    key TEXT PRIMARY KEY,
    id TEXT NOT NULL,
    project TEXT NOT NULL,
    qzdept TEXT NOT NULL,
    checkname TEXT NOT NULL,
    checkdept TEXT NOT NULL,
    checkpl TEXT NOT NULL,
    place TEXT NOT NULL,
    yhfrom TEXT NOT NULL
);
CREATE TABLE checkpoint_items (
    key TEXT NOT NULL REFERENCES checkpoints(key),
    position INTEGER NOT NULL,
    id TEXT NOT NULL,
    projectitem TEXT, yhtype TEXT, yhtypes TEXT, yhlevel TEXT,
    PRIMARY KEY (key, position)
);
CREATE TABLE places (position INTEGER PRIMARY KEY, place TEXT NOT NULL);
CREATE TABLE sheets (
    seq INTEGER PRIMARY KEY,
    frmno TEXT NOT NULL UNIQUE,
    docid TEXT NOT NULL,
    hazard INTEGER NOT NULL,
    day TEXT NOT NULL,
    checkdate TEXT NOT NULL,
    key TEXT, checkname TEXT, checkdept TEXT, checkpl TEXT, allapprove TEXT,
    openimageurl TEXT, image TEXT, ou1 TEXT, ou2 TEXT, place TEXT,
    username TEXT, weather TEXT, yhfrom TEXT, server TEXT, mobile TEXT, rowcount TEXT
);
CREATE TABLE sheet_items (
    frmno TEXT NOT NULL REFERENCES sheets(frmno),
    position INTEGER NOT NULL,
    id TEXT, projectitem TEXT, yhlevel TEXT, yhtype TEXT, yhtypes TEXT,
    isapprove TEXT, distription TEXT,
    PRIMARY KEY (frmno, position)
);
CREATE INDEX sheets_by_key ON sheets(key, day);
)sql";

} // namespace orvelle::devserver
