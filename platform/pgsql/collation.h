// How text is ordered and searched: under the server's ICU collation for
// Spanish ("es-x-icu", else the language-neutral "und-x-icu") when it has
// one, so that case and accents do not split the order (Á with A, Ñ after N);
// under the database's default collation otherwise. Searches that must
// match inside a text (LIKE) use a fold key instead, because PostgreSQL
// refuses LIKE under a case-insensitive collation: lower case without
// accents, the same on every server.
#pragma once

#include <string>
#include <string_view>

namespace pgsql {

// Process-wide: false makes every connection use its default collation,
// as on a server without ICU. The environment variable DXC_COLLATION=default
// sets it at start.
void setIcuCollationAllowed(bool allowed);
[[nodiscard]] bool icuCollationAllowed();

// The text lower-cased with its accents dropped (Latin-1 letters): "Fátima
// Núñez" -> "fatima nuñez". ñ stays a letter of its own unless keepEnye is
// false (under the language-neutral collation it is an accented n).
[[nodiscard]] std::string foldKey(std::string_view text, bool keepEnye = true);

// The SQL expression that computes foldKey (keeping ñ) of the expression
// `expr`, immutable, so an index can be built on it.
[[nodiscard]] std::string foldSql(std::string_view expr);

}  // namespace pgsql
