#include "platform/URL.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kdisk::URL;

namespace {
URL url(std::string_view text) {
  auto parsed = URL::fromString(text);
  EXPECT_TRUE(parsed.has_value()) << text;
  return parsed.value_or(URL());
}
}  // namespace

TEST(URLTests, PartsOfAnAbsoluteURL) {
  URL u = url("https://user@Disk.Example:8443/disk/My%20Files/a.txt?preview&size=M#top");
  EXPECT_EQ(u.scheme(), "https");
  EXPECT_EQ(u.host(), "Disk.Example");
  EXPECT_EQ(u.port(), 8443);
  EXPECT_EQ(u.origin(), "https://user@Disk.Example:8443");
  EXPECT_EQ(u.rawPath(), "/disk/My%20Files/a.txt");
  EXPECT_EQ(u.path(), "/disk/My Files/a.txt");
  EXPECT_EQ(u.query(), "preview&size=M");
  EXPECT_EQ(u.lastPathComponent(), "a.txt");
  EXPECT_EQ(u.pathExtension(), "txt");
  EXPECT_FALSE(u.hasDirectoryPath());
}

TEST(URLTests, RejectsTextThatIsNoAbsoluteURL) {
  EXPECT_FALSE(URL::fromString(""));
  EXPECT_FALSE(URL::fromString("/disk/a"));
  EXPECT_FALSE(URL::fromString("https://host/with space"));
  EXPECT_FALSE(URL::fromString("https:///nohost"));
  EXPECT_FALSE(URL::fromString("1http://host/"));
  EXPECT_TRUE(URL::fromString("file:///tmp/x"));
  EXPECT_TRUE(URL::fromString("kalumodisk://token#access_token=abc"));
}

TEST(URLTests, ServerEncodingSurvivesRoundTripsUntouched) {
  // Lower-case escapes and an escaped character that needs none are the
  // server's business; the URL must come back byte for byte.
  const std::string text = "https://h/disk/%d0%9f%D1%80%69vet%2520x/";
  URL u = url(text);
  EXPECT_EQ(u.absoluteString(), text);
  EXPECT_EQ(u.appendingPathComponent("b").deletingLastPathComponent().absoluteString(), text);
  EXPECT_EQ(u.lastPathComponent(), "Прivet%20x");
}

TEST(URLTests, AppendingEncodesSpacesCyrillicAndPercent) {
  URL dir = url("https://h/disk/");
  URL file = dir.appendingPathComponent("Отчёт 100% #1?.txt");
  EXPECT_EQ(file.absoluteString(),
            "https://h/disk/%D0%9E%D1%82%D1%87%D1%91%D1%82%20100%25%20%231%3F.txt");
  EXPECT_EQ(file.lastPathComponent(), "Отчёт 100% #1?.txt");
  EXPECT_EQ(file.pathExtension(), "txt");
  EXPECT_EQ(file.deletingLastPathComponent(), dir);
  EXPECT_EQ(dir.appendingPathComponent("New folder", true).absoluteString(),
            "https://h/disk/New%20folder/");
}

TEST(URLTests, AppendingToAPathWithoutSlashAddsExactlyOne) {
  EXPECT_EQ(url("https://h/disk").appendingPathComponent("a").absoluteString(), "https://h/disk/a");
  EXPECT_EQ(url("https://h").appendingPathComponent("a").absoluteString(), "https://h/a");
  // A URL without an authority stays one: what is appended parses again.
  for (const char* text : {"R:", "R:x", "mailto:a"}) {
    const std::string appended = url(text).appendingPathComponent("a b").absoluteString();
    EXPECT_TRUE(URL::fromString(appended)) << text << " gave " << appended;
  }
}

TEST(URLTests, DeletingLastComponentOfFoldersAndTheRoot) {
  EXPECT_EQ(url("https://h/disk/a/b/").deletingLastPathComponent().absoluteString(),
            "https://h/disk/a/");
  EXPECT_EQ(url("https://h/").deletingLastPathComponent().absoluteString(), "https://h/");
  EXPECT_EQ(url("https://h/disk/").lastPathComponent(), "disk");
  EXPECT_EQ(url("https://h/").lastPathComponent(), "/");
}

TEST(URLTests, PathExtensionIgnoresLeadingDotsAndTrailingDots) {
  EXPECT_EQ(url("https://h/.bashrc").pathExtension(), "");
  EXPECT_EQ(url("https://h/archive.tar.gz").pathExtension(), "gz");
  EXPECT_EQ(url("https://h/README").pathExtension(), "");
  EXPECT_EQ(url("https://h/a.JPG").appendingPathExtension("tmp").lastPathComponent(), "a.JPG.tmp");
}

TEST(URLTests, HrefsResolveAgainstTheRequestURL) {
  URL base = url("https://disk.example/disk/folder/");
  EXPECT_EQ(URL::fromStringRelativeTo("/disk/folder/a%20b.txt", base)->absoluteString(),
            "https://disk.example/disk/folder/a%20b.txt");
  EXPECT_EQ(URL::fromStringRelativeTo("c.txt", base)->absoluteString(),
            "https://disk.example/disk/folder/c.txt");
  EXPECT_EQ(URL::fromStringRelativeTo("../up/", base)->absoluteString(),
            "https://disk.example/disk/up/");
  EXPECT_EQ(URL::fromStringRelativeTo("https://other/x", base)->absoluteString(), "https://other/x");
  // A sloppy server's raw space and UTF-8 are escaped, its escapes are kept.
  EXPECT_EQ(URL::fromStringRelativeTo("/disk/Мой файл%2B", base)->absoluteString(),
            "https://disk.example/disk/%D0%9C%D0%BE%D0%B9%20%D1%84%D0%B0%D0%B9%D0%BB%2B");
}

TEST(URLTests, FileURLsForLocalPaths) {
  URL file = URL::fileURLWithPath("/tmp/Мои файлы/100%.txt");
  EXPECT_TRUE(file.isFileURL());
  EXPECT_EQ(file.path(), "/tmp/Мои файлы/100%.txt");
  EXPECT_EQ(URL::fromString(file.absoluteString())->path(), "/tmp/Мои файлы/100%.txt");
}

TEST(URLTests, PercentCodingOfUTF8AndMalformedEscapes) {
  EXPECT_EQ(kdisk::percentEncode("a b/ц~"), "a%20b%2F%D1%86~");
  EXPECT_EQ(kdisk::percentEncode("a/b", "/"), "a/b");
  EXPECT_EQ(kdisk::percentDecode("%D1%86%2"), "ц%2");
  EXPECT_EQ(kdisk::percentDecode("100%"), "100%");
  EXPECT_EQ(kdisk::percentDecode("%zz%41"), "%zzA");
}

TEST(URLTests, TrailingSlashAndOriginSwaps) {
  URL u = url("http://127.0.0.1:8080/disk/a?x=1");
  EXPECT_EQ(u.withTrailingSlash().absoluteString(), "http://127.0.0.1:8080/disk/a/?x=1");
  EXPECT_EQ(u.withTrailingSlash().withoutTrailingSlash(), u);
  EXPECT_EQ(u.withOriginOf(url("https://h:1")).absoluteString(), "https://h:1/disk/a?x=1");
  EXPECT_EQ(url("http://[::1]:99/").host(), "::1");
  EXPECT_EQ(url("http://[::1]:99/").port(), 99);
  EXPECT_EQ(url("http://h/").port(), std::nullopt);
}

TEST(URLTests, AbsolutePathReferenceAgreesWithParsingTheJoinedText) {
  const std::vector<URL> bases = {
      url("https://disk.example/disk/folder/"),
      url("HTTPS://User@Disk.Example:8443/disk/?q=1#top"),
      url("http://127.0.0.1:65535"),
      url("http://[::1]:99/a"),
      url("FILE:///tmp/x"),
      url("kalumodisk://token#access_token=abc"),
      url("R:x"),
      // Built, not parsed: an empty host under a scheme that needs one.
      url("https://h/a").withOriginOf(url("mailto:x")),
      URL(),
  };
  const std::vector<std::string> references = {
      "/", "/disk/My%20Files/", "/disk/%d0%9c%2F%2f..", "/disk/../up/./x", "//other:1/x", "/a?x=1#frag",
      "/a#f?g/h", "/a%zz%", "/a:b@c;d=e", "/disk/a b", "/disk/Мой", "/a\\b", "/a{b}|^`", "/a\tb", "/\x7f",
      std::string("/a\0b", 4), "disk/relative", "", "?q", "#f", "https://other/x"};
  int accepted = 0, refused = 0;
  for (const URL& base : bases) {
    for (const std::string& reference : references) {
      const auto fast = base.withAbsolutePathReference(reference);
      const auto parsed = URL::fromString(base.origin() + reference);
      EXPECT_EQ(fast, parsed) << base.absoluteString() << " + " << reference;
      ++(parsed ? accepted : refused);
    }
  }
  EXPECT_GT(accepted, 40);
  EXPECT_GT(refused, 40);
}
