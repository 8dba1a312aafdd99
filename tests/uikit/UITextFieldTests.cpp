#include <gmock/gmock.h>

#include "UIKitTestSupport.h"
#include "platform/NotificationCenter.h"
#include "uikit/UITextField.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

// Refuses any change that would make the text longer than five characters,
// and digits anywhere; records what it was asked.
class Veto : public UITextFieldDelegate {
 public:
  std::vector<std::string> events;
  bool allowReturn = true;
  bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField& field, NSRange range,
                                                               const std::string& replacement) override {
    std::string next = field.text();
    next.replace(range.location, range.length, replacement);
    return next.size() <= 5 && replacement.find_first_of("0123456789") == std::string::npos;
  }
  void textFieldDidBeginEditing(UITextField&) override { events.push_back("begin"); }
  void textFieldDidEndEditing(UITextField&) override { events.push_back("end"); }
  bool textFieldShouldReturn(UITextField& field) override {
    events.push_back("return with " + field.text());
    return allowReturn;
  }
};

class UITextFieldTest : public UIKitTest {
 protected:
  void SetUp() override {
    m_field = std::make_shared<UITextField>(CGRectMake(20, 100, 280, 31));
    m_field->setBorderStyle(UITextBorderStyle::RoundedRect);
    m_field->setPlaceholder("Login");
    m_field->setDelegate(m_veto);
    m_other = std::make_shared<UITextField>(CGRectMake(20, 150, 280, 31));
    m_other->setPlaceholder("Password");
    m_host->window().addSubview(m_field);
    m_host->window().addSubview(m_other);
    m_keyboard = NotificationCenter::defaultCenter().addObserver(
        UIKeyboardWillShowNotification, [this](const Notification&) { m_keyboardEvents.push_back("show"); });
    m_keyboardHide = NotificationCenter::defaultCenter().addObserver(
        UIKeyboardWillHideNotification, [this](const Notification&) { m_keyboardEvents.push_back("hide"); });
  }
  std::shared_ptr<Veto> m_veto = std::make_shared<Veto>();
  std::shared_ptr<UITextField> m_field, m_other;
  std::vector<std::string> m_keyboardEvents;
  ObserverToken m_keyboard, m_keyboardHide;
};

TEST_F(UITextFieldTest, ATapFocusesTheFieldAndTypingFillsIt) {
  ASSERT_TRUE(m_host->tapText("Login"));
  EXPECT_TRUE(m_field->isFirstResponder());
  m_host->typeText("ab");
  m_host->typeText("c");
  EXPECT_EQ(m_field->text(), "abc");
  m_host->pressBackspace();
  EXPECT_EQ(m_field->text(), "ab");
  EXPECT_THAT(m_keyboardEvents, ElementsAre("show"));
}

TEST_F(UITextFieldTest, TheDelegateVetoesChangesAndTheTextStaysAsItWas) {
  int changes = 0;
  m_field->addActionForControlEvents([&](UIControl&) { changes++; }, UIControlEventEditingChanged);
  m_field->becomeFirstResponder();
  m_host->typeText("abcd");
  m_host->typeText("e1");  // a digit: refused whole
  m_host->typeText("ef");  // too long: refused
  m_host->typeText("e");
  m_host->typeText("g");
  EXPECT_EQ(m_field->text(), "abcde");
  EXPECT_EQ(changes, 2);
}

TEST_F(UITextFieldTest, BackspaceRemovesAWholeCharacterOfAnyLength) {
  m_other->becomeFirstResponder();
  m_host->typeText("дa");
  m_host->pressBackspace();
  m_host->pressBackspace();
  EXPECT_EQ(m_other->text(), "");
  m_host->pressBackspace();
  EXPECT_EQ(m_other->text(), "");
}

TEST_F(UITextFieldTest, MovingFocusBetweenFieldsKeepsTheKeyboardUp) {
  m_field->becomeFirstResponder();
  m_other->becomeFirstResponder();
  EXPECT_FALSE(m_field->isEditing());
  EXPECT_TRUE(m_other->isEditing());
  EXPECT_THAT(m_veto->events, ElementsAre("begin", "end"));
  EXPECT_THAT(m_keyboardEvents, ElementsAre("show"));
  m_other->resignFirstResponder();
  EXPECT_THAT(m_keyboardEvents, ElementsAre("show", "hide"));
  EXPECT_FALSE(UITextField::isKeyboardVisible());
}

TEST_F(UITextFieldTest, ReturnAsksTheDelegateAndSendsEndOnExitOnlyWhenAllowed) {
  int exits = 0;
  m_field->addActionForControlEvents([&](UIControl&) { exits++; }, UIControlEventEditingDidEndOnExit);
  m_field->becomeFirstResponder();
  m_host->typeText("bob");
  m_veto->allowReturn = false;
  m_host->pressReturn();
  EXPECT_EQ(exits, 0);
  m_veto->allowReturn = true;
  m_host->pressReturn();
  EXPECT_EQ(exits, 1);
  EXPECT_THAT(m_veto->events, ElementsAre("begin", "return with bob", "return with bob"));
}

TEST_F(UITextFieldTest, ADisabledFieldNeitherFocusesNorTakesText) {
  m_field->setEnabled(false);
  m_host->tapPoint({100, 115});
  EXPECT_FALSE(m_field->isFirstResponder());
  m_host->typeText("x");
  EXPECT_EQ(m_field->text(), "");
}

TEST_F(UITextFieldTest, AFieldDisabledWhileEditingKeepsTheFocusButTakesNoInputUntilEnabled) {
  int exits = 0;
  m_field->addActionForControlEvents([&](UIControl&) { exits++; }, UIControlEventEditingDidEndOnExit);
  ASSERT_TRUE(m_host->tapText("Login"));
  m_host->typeText("ab");
  m_field->setEnabled(false);
  m_host->typeText("c");
  m_host->pressBackspace();
  m_host->pressReturn();
  EXPECT_TRUE(m_field->isFirstResponder());
  EXPECT_EQ(m_field->text(), "ab");
  EXPECT_EQ(exits, 0);
  EXPECT_THAT(m_keyboardEvents, ElementsAre("show"));
  m_field->setEnabled(true);
  m_host->typeText("c");
  EXPECT_EQ(m_field->text(), "abc");
}

TEST_F(UITextFieldTest, InsetsAndSideViewsNarrowTheTextRectangle) {
  m_field->setBorderStyle(UITextBorderStyle::None);
  m_field->setTextInsets(UIEdgeInsetsMake(0, 5, 0, 3));
  auto icon = std::make_shared<UIView>(CGRectMake(0, 0, 20, 20));
  m_field->setLeftView(icon);
  m_field->setLeftViewMode(UITextFieldViewMode::Always);
  EXPECT_EQ(m_field->textRectForBounds(m_field->bounds()), CGRectMake(25, 0, 280 - 25 - 3, 31));
}

}  // namespace
}  // namespace kdisk::test
