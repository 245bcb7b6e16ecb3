#pragma once
// The six database settings as the main screen holds them. The data layer
// takes them as arguments: it never reads where they are kept.
#include <QString>

struct SettingFields {
    int chkSQL = 0;           // 1: Tarnwell data on SQL Server
    QString txtDatabase;      // Tarnwell folder, or the SQL Server's name
    int chkAdmin = 0;         // 1: log in with user name and password
    QString sqlPW;
    QString sqlUserName;
    QString SQLSubset;        // suffix of the catalogue names
};
