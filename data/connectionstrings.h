#pragma once
// Logical database names ("CTF", "Tarnwell"/"TarnMain", "TarnTran") turned
// into the connection strings of the configured back end. The strings are
// the office's configuration format and are produced exactly.
#include <QString>

QString GetConnectionString(const QString &name);
