#include "platform/DesktopApplications.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/DesktopRegistry.h"

namespace kdisk {
namespace {

class DesktopApplicationsTests : public ::testing::Test {
 protected:
  // GIO reads the registry once per process: one for the whole suite.
  static void SetUpTestSuite() {
    registry = std::make_unique<test::DesktopRegistry>();
    viewerMarker = registry->addApplication("test.PictureViewer", "Picture Viewer", {"image/png"});
    mailMarker = registry->addApplication("test.Mail", "Mail", {"x-scheme-handler/kalumotestmail"});
  }
  static void TearDownTestSuite() { registry.reset(); }

  static inline std::unique_ptr<test::DesktopRegistry> registry;
  static inline std::string viewerMarker, mailMarker;
  test::TemporaryDirectory files;
};

TEST_F(DesktopApplicationsTests, ContentTypeComesFromNameAndFirstBytesNotTheWholeFile) {
  files.write("picture.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0'));
  files.write("notes.txt", "plain words\n");
  files.write("mislabelled.pdf", std::string(512, '\x01'));
  EXPECT_EQ(contentTypeOfFile(files.file("picture.png")), "image/png");
  EXPECT_EQ(contentTypeOfFile(files.file("notes.txt")), "text/plain");
  EXPECT_TRUE(contentTypeIsA(contentTypeOfFile(files.file("notes.txt")), "text/plain"));
  EXPECT_TRUE(contentTypeIsA("image/jpeg", "image/*"));
  EXPECT_FALSE(contentTypeIsA("application/pdf", "image/*"));
  // A missing file is still named; nothing is read, nothing crashes.
  EXPECT_EQ(contentTypeOfFile(files.file("gone.pdf")), "application/pdf");
}

TEST_F(DesktopApplicationsTests, ListsAndLaunchesTheApplicationsOfAContentType) {
  files.write("picture.png", std::string("\x89PNG\r\n\x1a\n", 8));
  auto applications = applicationsForContentType("image/png");
  ASSERT_EQ(applications.size(), 1u);
  EXPECT_EQ(applications[0].name, "Picture Viewer");
  EXPECT_TRUE(applicationsForContentType("application/x-nothing-opens-this").empty());

  ASSERT_TRUE(launchApplicationWithFile(applications[0], files.file("picture.png")).hasValue());
  auto argument = test::DesktopRegistry::waitForMarker(viewerMarker);
  ASSERT_TRUE(argument.has_value());
  // "%u" gives a file URL or a path depending on the launcher; both name our file.
  EXPECT_NE(argument->find("picture.png"), std::string::npos);
}

TEST_F(DesktopApplicationsTests, OpensAURLWithTheHandlerOfItsSchemeOnly) {
  ASSERT_TRUE(defaultApplicationForURLScheme("kalumotestmail").has_value());
  EXPECT_EQ(defaultApplicationForURLScheme("kalumotestmail")->name, "Mail");
  EXPECT_FALSE(defaultApplicationForURLScheme("kalumotestnothing").has_value());

  auto url = URL::fromString("kalumotestmail://qwe?subject=a%20b&body=c");
  ASSERT_TRUE(url.has_value());
  ASSERT_TRUE(openURLWithDefaultApplication(*url).hasValue());
  EXPECT_EQ(test::DesktopRegistry::waitForMarker(mailMarker),
            "kalumotestmail://qwe?subject=a%20b&body=c");

  auto unhandled = URL::fromString("kalumotestnothing://x");
  ASSERT_TRUE(unhandled.has_value());
  EXPECT_FALSE(openURLWithDefaultApplication(*unhandled).hasValue());
}

}  // namespace
}  // namespace kdisk
