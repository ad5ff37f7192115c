#include "cefclient/resource_request.h"

#include "cefclient/resource_pack.h"

namespace resource_request {

const char kWebClientPrefix[] = "kestrafon://page.kestrafon/local/";
const char kStartPageUrl[] = "kestrafon://page.kestrafon/local/black/client.html";

static_assert(sizeof(kWebClientPrefix) - 1 == kPrefixLength, "the key rule drops exactly the prefix");

namespace {

QString withoutQuery(const QString& text) {
    const int query = text.indexOf(QLatin1Char('?'));
    return query < 0 ? text : text.left(query);
}

QByteArray imageMimeType(const QString& path) {
    if (path.endsWith(QLatin1String(".jpg"))) {
        return QByteArrayLiteral("image/jpeg");
    }
    if (path.endsWith(QLatin1String(".gif"))) {
        return QByteArrayLiteral("image/gif");
    }
    return QByteArrayLiteral("image/png");
}

}  // namespace

bool intercepts(const QString& url) {
    return url.contains(QLatin1String("local"), Qt::CaseSensitive);
}

QString keyForUrl(const QString& url) {
    return withoutQuery(url.mid(kPrefixLength));
}

Kind classify(const QString& url, bool jpgIsImage) {
    // The query is not part of the resource's name: "a.png?v=2" is still an image, and
    // "client.html?src=x.js" still a page.
    const QString path = withoutQuery(url);
    const QString ending = path.right(4);
    if (ending == QLatin1String(".png") || ending == QLatin1String(".gif") ||
        (jpgIsImage && ending == QLatin1String(".jpg"))) {
        return Kind::Image;
    }
    if (path.contains(QLatin1String(".js"))) {
        return Kind::Script;
    }
    if (path.contains(QLatin1String(".css"))) {
        return Kind::StyleSheet;
    }
    return Kind::Page;
}

QByteArray mimeType(Kind kind) {
    switch (kind) {
        case Kind::Image:
            return QByteArrayLiteral("image/png");
        case Kind::Script:
            return QByteArrayLiteral("application/javascript");
        case Kind::StyleSheet:
            return QByteArrayLiteral("text/css");
        case Kind::Page:
            break;
    }
    return QByteArrayLiteral("text/html");
}

Answer answer(const ResourcePack& pack, const QString& url, bool jpgIsImage) {
    Answer result;
    if (!intercepts(url)) {
        return result;
    }
    QString key = keyForUrl(url);
    const Kind kind = classify(url, jpgIsImage);
    if (kind == Kind::Image) {
        key = QString::fromUtf8(QByteArray::fromPercentEncoding(key.toUtf8()));
    }
    const QByteArray data = pack.lookup(key);
    if (data.isEmpty()) {
        return result;
    }
    result.found = true;
    result.data = data;
    result.mime = (kind == Kind::Image && jpgIsImage) ? imageMimeType(withoutQuery(url)) : mimeType(kind);
    return result;
}

}  // namespace resource_request
