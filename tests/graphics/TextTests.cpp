#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "graphics/FontFitting.h"
#include "graphics/NSStringDrawing.h"
#include "graphics/TextLayout.h"
#include "graphics/UIFont.h"

namespace kdisk {
namespace {

const std::string kLongError =
    "The login or the password is wrong. Check the keyboard layout and Caps Lock, then try "
    "again; after several failed attempts signing in is blocked for one hour.";

CGFloat wrappedHeight(const std::string& text, CGFloat size, CGFloat width) {
  TextLayout layout(text, UIFont::systemFontOfSize(size));
  layout.setWidth(width);
  return layout.size().height;
}

TEST(UIFont, SystemFontsUseTheSystemFamily) {
  EXPECT_EQ(UIFont::systemFontOfSize(14).familyName(), UIFont::kSystemFamily);
  EXPECT_FALSE(UIFont::systemFontOfSize(14).isBold());
  EXPECT_TRUE(UIFont::boldSystemFontOfSize(12).isBold());
  EXPECT_EQ(UIFont::boldSystemFontOfSize(12).pointSize(), 12);
}

TEST(UIFont, PostScriptNamesGiveFamilyAndWeight) {
  const UIFont font = UIFont::fontWithNameSize("DejaVuSans-Bold", 17);
  EXPECT_EQ(font.familyName(), "DejaVu Sans");
  EXPECT_TRUE(font.isBold());
  EXPECT_EQ(font.fontName(), "DejaVuSans-Bold");
  EXPECT_EQ(UIFont::fontWithNameSize("DejaVu Serif", 10).familyName(), "DejaVu Serif");
}

TEST(UIFont, AbsurdSizesAreClamped) {
  EXPECT_EQ(UIFont::systemFontOfSize(0).pointSize(), 1);
  EXPECT_EQ(UIFont::systemFontOfSize(1e9).pointSize(), 1000);
}

TEST(UIFont, LineHeightGrowsWithTheSizeAndHoldsAscenderAndDescender) {
  const UIFont small = UIFont::systemFontOfSize(10);
  const UIFont large = UIFont::systemFontOfSize(20);
  EXPECT_GT(small.lineHeight(), 10);
  EXPECT_NEAR(large.lineHeight(), 2 * small.lineHeight(), 0.5);
  EXPECT_GT(small.ascender(), 0);
  EXPECT_LT(small.descender(), 0);
  EXPECT_GE(small.lineHeight() + 0.01, small.ascender() - small.descender());
}

TEST(TextMeasurement, OneLineIsAsHighAsALineAndWiderForBold) {
  const CGSize regular = sizeWithFont("Upload folder", UIFont::systemFontOfSize(16));
  const CGSize bold = sizeWithFont("Upload folder", UIFont::boldSystemFontOfSize(16));
  EXPECT_NEAR(regular.height, std::ceil(UIFont::systemFontOfSize(16).lineHeight()), 1);
  EXPECT_GT(bold.width, regular.width);
  EXPECT_EQ(sizeWithFont("", UIFont::systemFontOfSize(16)).width, 0);
}

TEST(TextMeasurement, WrappingToANarrowWidthAddsLines) {
  const UIFont font = UIFont::systemFontOfSize(14);
  const CGSize wide = sizeWithFontConstrainedToSizeLineBreakMode(kLongError, font, {2000, 1000},
                                                                 NSLineBreakMode::WordWrap);
  const CGSize narrow = sizeWithFontConstrainedToSizeLineBreakMode(kLongError, font, {130, 1000},
                                                                   NSLineBreakMode::WordWrap);
  EXPECT_LE(narrow.width, 130);
  EXPECT_GT(narrow.height, 3 * wide.height);
}

TEST(TextMeasurement, ConstrainedHeightKeepsWholeLines) {
  const UIFont font = UIFont::systemFontOfSize(14);
  const CGFloat line = font.lineHeight();
  const CGSize size = sizeWithFontConstrainedToSizeLineBreakMode(
      kLongError, font, {130, line * 2.5}, NSLineBreakMode::WordWrap);
  EXPECT_LE(size.height, line * 2.5);
  EXPECT_GE(size.height, line * 2 - 1);
}

TEST(TextMeasurement, TruncatingTailKeepsOneLineWithinTheWidth) {
  TextLayout layout(kLongError, UIFont::systemFontOfSize(14));
  layout.setLineBreakMode(NSLineBreakMode::TruncatingTail);
  layout.setWidth(100);
  EXPECT_EQ(layout.lineCount(), 1);
  EXPECT_LE(layout.size().width, 100);
}

TEST(TextMeasurement, InvalidUTF8IsMeasuredNotRejected) {
  EXPECT_GT(sizeWithFont(std::string("bad \xff\xfe text"), UIFont::systemFontOfSize(12)).width, 0);
}

// The login screen's search: 16 points down to 6, first wrapped height that fits.
UIFont loginErrorFont(const std::string& text, CGSize box) {
  return KMFontFittingWrappedText(text, UIFont::systemFontOfSize(16), box, 6);
}

TEST(FontFitting, ShortTextKeepsTheStartingSize) {
  EXPECT_EQ(loginErrorFont("Wrong password", {280, 40}).pointSize(), 16);
}

TEST(FontFitting, TextThatNeverFitsStopsAtTheSixPointFloor) {
  const UIFont font = loginErrorFont(kLongError + kLongError + kLongError, {280, 20});
  EXPECT_EQ(font.pointSize(), 6);
  EXPECT_FALSE(font.isBold());
}

TEST(FontFitting, BoxThatFitsOnlySixPointsGivesSix) {
  const CGFloat width = 280;
  const CGFloat atSix = wrappedHeight(kLongError, 6, width);
  ASSERT_GT(wrappedHeight(kLongError, 7, width), atSix);
  EXPECT_EQ(loginErrorFont(kLongError, {width, atSix}).pointSize(), 6);
}

TEST(FontFitting, BoxThatFitsSevenPointsGivesSevenNotTheFloor) {
  const CGFloat width = 280;
  const CGFloat atSeven = wrappedHeight(kLongError, 7, width);
  ASSERT_GT(wrappedHeight(kLongError, 8, width), atSeven);
  EXPECT_EQ(loginErrorFont(kLongError, {width, atSeven}).pointSize(), 7);
}

TEST(FontFitting, FirstSizeFromTheTopIsChosenExactlyAtItsHeight) {
  const CGFloat width = 200;
  for (CGFloat size = 15; size >= 7; size -= 2) {
    const CGFloat height = wrappedHeight(kLongError, size, width);
    if (wrappedHeight(kLongError, size + 1, width) <= height)
      continue;
    EXPECT_EQ(loginErrorFont(kLongError, {width, height}).pointSize(), size) << size;
  }
}

TEST(FontFitting, SingleLineShrinksToTheWidthButNotBelowTheMinimum) {
  const UIFont bold17 = UIFont::boldSystemFontOfSize(17);
  const std::string text = "Nothing in this folder yet";
  const CGFloat full = sizeWithFont(text, bold17).width;
  const UIFont fitted = KMFontFittingSingleLine(text, bold17, full * 0.8, 10);
  EXPECT_LT(fitted.pointSize(), 17);
  EXPECT_GE(fitted.pointSize(), 10);
  EXPECT_TRUE(fitted.isBold());
  EXPECT_LE(sizeWithFont(text, fitted).width, full * 0.8);
  EXPECT_EQ(KMFontFittingSingleLine(text, bold17, 5, 10).pointSize(), 10);
  EXPECT_EQ(KMFontFittingSingleLine(text, bold17, full, 10).pointSize(), 17);
}

} // namespace
} // namespace kdisk
