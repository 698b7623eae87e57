#pragma once

#include <QString>

namespace Fennick::Endpoints {

// The outside web services the core talks to.
enum class Service { connect, lookup, translator, email };

// Base address without a trailing slash; paths ("/v1/apps...") are appended to it. In order of
// precedence: setBaseUrl(), the environment variable (VANTOREL_CONNECT_URL, VANTOREL_LOOKUP_URL,
// VANTOREL_TRANSLATOR_URL, VANTOREL_EMAIL_URL), the service's public address.
QString baseUrl(Service service);

// Points a service elsewhere for this process (tests, fake servers); an empty text undoes it.
void setBaseUrl(Service service, const QString &url);

// The public address, ignoring overrides.
QString defaultBaseUrl(Service service);

// The variable that overrides the service for a whole program.
const char *environmentVariable(Service service);

}  // namespace Fennick::Endpoints
