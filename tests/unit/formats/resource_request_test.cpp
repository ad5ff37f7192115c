// The request rule: which URLs are intercepted, the 33-character key, classification, MIME types,
// percent-decoding of image keys and the fall-through to the network.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "cefclient/resource_pack.h"
#include "cefclient/resource_pack_writer.h"
#include "cefclient/resource_request.h"
#include "unit/formats/formats_test_helpers.h"

namespace rr = resource_request;

namespace {

const QString kPrefix = QString::fromLatin1(rr::kWebClientPrefix);

TEST(ResourceRequestKey, PrefixAndStartPage) {
    EXPECT_EQ(kPrefix.size(), rr::kPrefixLength);
    EXPECT_TRUE(kPrefix.endsWith("/local/"));
    EXPECT_EQ(rr::keyForUrl(rr::kStartPageUrl), QString("black/client.html"));
}

TEST(ResourceRequestKey, InterceptsOnlyUrlsContainingLocalInLowerCase) {
    EXPECT_TRUE(rr::intercepts(kPrefix + "black/client.html"));
    EXPECT_TRUE(rr::intercepts("https://example.com/app.js?from=local"));
    EXPECT_TRUE(rr::intercepts("https://localhost/"));
    EXPECT_FALSE(rr::intercepts("https://example.com/LOCAL/a.js"));
    EXPECT_FALSE(rr::intercepts("https://example.com/Local/a.js"));
    EXPECT_FALSE(rr::intercepts(""));
}

TEST(ResourceRequestKey, DropsThePrefixLengthAndTheQuery) {
    EXPECT_EQ(rr::keyForUrl(kPrefix + "black/img/a.png?v=3"), QString("black/img/a.png"));
    EXPECT_EQ(rr::keyForUrl(kPrefix + "black/a.js?x=1?y=2"), QString("black/a.js"));
    EXPECT_EQ(rr::keyForUrl(kPrefix + "?only=query"), QString(""));
    EXPECT_EQ(rr::keyForUrl(kPrefix), QString(""));
    EXPECT_EQ(rr::keyForUrl("short"), QString(""));
    // The 33 characters are dropped whatever they are: "local" only in the query still gives
    // whatever follows them.
    EXPECT_EQ(rr::keyForUrl("https://example.com/some/path/abcdefg?local"), QString("defg"));
    EXPECT_EQ(rr::keyForUrl("https://example.com/app.js?from=local"), QString("ocal"));
}

TEST(ResourceRequestKey, ClassifiesByTheEndingOfThePath) {
    struct Case {
        const char* url;
        rr::Kind kind;
    };
    const Case cases[] = {
        {"kestrafon://page.kestrafon/local/a.png", rr::Kind::Image},
        {"kestrafon://page.kestrafon/local/a.gif", rr::Kind::Image},
        {"kestrafon://page.kestrafon/local/a.png?v=1", rr::Kind::Image},
        {"kestrafon://page.kestrafon/local/a.PNG", rr::Kind::Page},
        {"kestrafon://page.kestrafon/local/a.jpg", rr::Kind::Page},
        {"kestrafon://page.kestrafon/local/a.png.js", rr::Kind::Script},
        {"kestrafon://page.kestrafon/local/app.js", rr::Kind::Script},
        {"kestrafon://page.kestrafon/local/data.json", rr::Kind::Script},
        {"kestrafon://page.kestrafon/local/site.css", rr::Kind::StyleSheet},
        {"kestrafon://page.kestrafon/local/x.css.js", rr::Kind::Script},
        {"kestrafon://page.kestrafon/local/client.html", rr::Kind::Page},
        {"kestrafon://page.kestrafon/local/client.html?src=a.js", rr::Kind::Page},
        {"kestrafon://page.kestrafon/local/font.woff", rr::Kind::Page},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rr::classify(c.url), c.kind) << c.url;
    }
    EXPECT_EQ(rr::classify("kestrafon://page.kestrafon/local/a.jpg?v=1", true), rr::Kind::Image);
    EXPECT_EQ(rr::classify("kestrafon://page.kestrafon/local/a.gif", true), rr::Kind::Image);
}

class ResourceRequestAnswer : public ::testing::Test {
protected:
    void SetUp() override {
        const QVector<ResourcePackSource> entries = {
            {"theme/black/client.html", "<html/>"},
            {"theme/black/js/app.js", "js"},
            {"theme/black/css/site.css", "css"},
            {"theme/black/img/a b.png", "png with space"},
            {"theme/black/img/a%20b.html", "literal percent"},
            {QString::fromUtf8("theme/black/img/标志.gif"), "gif"},
            {"theme/black/img/photo.jpg", "jpg"},
            {"theme/black/empty.css", ""},
        };
        ASSERT_TRUE(kftest::writeFile(dir_.path() + "/theme.pak", buildResourcePack(entries, 9, true)));
        ASSERT_TRUE(pack_.load(dir_.path() + "/theme.pak"));
    }

    QTemporaryDir dir_;
    ResourcePack pack_;
};

TEST_F(ResourceRequestAnswer, AnswersEachKindWithItsMimeType) {
    rr::Answer a = rr::answer(pack_, rr::kStartPageUrl);
    EXPECT_TRUE(a.found);
    EXPECT_EQ(a.mime, QByteArray("text/html"));
    EXPECT_EQ(a.data, QByteArray("<html/>"));

    a = rr::answer(pack_, kPrefix + "black/js/app.js");
    EXPECT_EQ(a.mime, QByteArray("application/javascript"));
    EXPECT_EQ(a.data, QByteArray("js"));

    a = rr::answer(pack_, kPrefix + "black/css/site.css?v=2");
    EXPECT_EQ(a.mime, QByteArray("text/css"));
    EXPECT_EQ(a.data, QByteArray("css"));
}

TEST_F(ResourceRequestAnswer, ServesAnImageWithAQueryFromThePathWithoutIt) {
    const rr::Answer a = rr::answer(pack_, kPrefix + "black/img/a%20b.png?t=12345");
    EXPECT_TRUE(a.found);
    EXPECT_EQ(a.mime, QByteArray("image/png"));
    EXPECT_EQ(a.data, QByteArray("png with space"));
}

TEST_F(ResourceRequestAnswer, PercentDecodesImageKeysOnly) {
    EXPECT_EQ(rr::answer(pack_, kPrefix + "black/img/a%20b.png").data, QByteArray("png with space"));
    const rr::Answer gif = rr::answer(pack_, kPrefix + "black/img/%E6%A0%87%E5%BF%97.gif");
    EXPECT_TRUE(gif.found);
    EXPECT_EQ(gif.mime, QByteArray("image/png"));  // one MIME type for both image endings
    // A page key is looked up as it stands.
    EXPECT_EQ(rr::answer(pack_, kPrefix + "black/img/a%20b.html").data, QByteArray("literal percent"));
}

TEST_F(ResourceRequestAnswer, MissesAndEmptyEntriesGoToTheNetwork) {
    EXPECT_FALSE(rr::answer(pack_, kPrefix + "black/missing.html").found);
    EXPECT_FALSE(rr::answer(pack_, kPrefix + "black/img/missing.png").found);
    EXPECT_FALSE(rr::answer(pack_, kPrefix + "black/empty.css").found);
    // Not intercepted at all, even though the key would be in the pack.
    EXPECT_FALSE(rr::answer(pack_, "kestrafon://page.kestrafon/LOCAL/black/client.html").found);
    // Intercepted only through its query: the key is not in the pack.
    EXPECT_FALSE(rr::answer(pack_, "https://example.com/app.js?from=local").found);
    EXPECT_FALSE(rr::answer(ResourcePack(), rr::kStartPageUrl).found);
}

TEST_F(ResourceRequestAnswer, SettingsSchemeAlsoServesJpegWithTheirOwnTypes) {
    const QString prefix = kPrefix;  // the engine side maps settings URLs onto the prefix
    rr::Answer a = rr::answer(pack_, prefix + "black/img/photo.jpg", true);
    EXPECT_TRUE(a.found);
    EXPECT_EQ(a.mime, QByteArray("image/jpeg"));
    a = rr::answer(pack_, prefix + "black/img/%E6%A0%87%E5%BF%97.gif", true);
    EXPECT_EQ(a.mime, QByteArray("image/gif"));
    a = rr::answer(pack_, prefix + "black/img/a%20b.png", true);
    EXPECT_EQ(a.mime, QByteArray("image/png"));
    // Without the settings rule a .jpg is a page.
    a = rr::answer(pack_, kPrefix + "black/img/photo.jpg");
    EXPECT_EQ(a.mime, QByteArray("text/html"));
}

}  // namespace
