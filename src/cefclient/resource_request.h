#pragma once
// The rule that decides whether a browser request is answered from the resource pack, under
// which key, and with which MIME type. Pure code with no browser-engine types: the engine side
// passes the request URL in its fully encoded form (QUrl::FullyEncoded) and either serves the
// answer (status 200) or lets the request go to the network.
//
// Every page resource lives under the web client prefix "kestrafon://page.kestrafon/local/";
// the key is the URL without those 33 characters and without its query, so
// "kestrafon://page.kestrafon/local/black/client.html" is served from the pack entry
// "theme/black/client.html" under the key "black/client.html".
#include <QByteArray>
#include <QString>

class ResourcePack;

namespace resource_request {

constexpr int kPrefixLength = 33;
extern const char kWebClientPrefix[];  // "kestrafon://page.kestrafon/local/"
extern const char kStartPageUrl[];     // "kestrafon://page.kestrafon/local/black/client.html"

// The "settings" scheme (domain "kestrafon") is served by the same rule with jpgIsImage set;
// the engine side maps its URLs onto the web client prefix before asking.

enum class Kind { Image, Script, StyleSheet, Page };

// True when the URL contains "local" (case-sensitive) anywhere, the query included.
bool intercepts(const QString& url);

// The URL without its first 33 characters, then without everything from the first '?'.
QString keyForUrl(const QString& url);

// Classifies by the URL's path (the part before the first '?'): ending in ".png" or ".gif"
// (or ".jpg" when jpgIsImage) is an image; otherwise containing ".js" a script, containing
// ".css" a style sheet, and everything else a page.
Kind classify(const QString& url, bool jpgIsImage = false);

// "image/png", "application/javascript", "text/css" or "text/html".
QByteArray mimeType(Kind kind);

struct Answer {
    bool found = false;  // false: let the request go to the network
    QByteArray mime;
    QByteArray data;
};

// The whole rule. Image keys are percent-decoded before the lookup; a missing key or an empty
// entry is not found. With jpgIsImage (the "settings" scheme) images carry the MIME type of
// their own ending ("image/jpeg", "image/gif", "image/png").
Answer answer(const ResourcePack& pack, const QString& url, bool jpgIsImage = false);

}  // namespace resource_request
