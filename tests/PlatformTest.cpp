// The platform layer under the program: streams, stored form descriptions, components and the
// way handler errors reach the exception display without ending the message loop.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/core/Exceptions.h"
#include "platform/core/FormDescription.h"
#include "platform/core/Forms.h"
#include "platform/core/Streams.h"
#include "platform/headless/HeadlessBackend.h"

namespace halvik {
namespace {

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  EXPECT_EQ(s.Size(), 6);
  s.SetPosition(2);
  char buf[4] = {};
  s.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "cde");
  EXPECT_EQ(s.Read(buf, 4), 1);  // a short read at the end
  EXPECT_EQ(s.Read(buf, 4), 0);
  s.SetPosition(5);
  EXPECT_THROW(s.ReadBuffer(buf, 2), EReadError);
  EXPECT_THROW(s.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  s.Seek(2, TSeekOrigin::soEnd);  // writing past the end pads the gap
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(s.Bytes()[6], 0);
}

TEST(Streams, FileStreamNamesTheFileItCannotOpen) {
  try {
    TFileStream f("/nonexistent/halvik/no.bmp", TFileMode::fmOpenRead);
    FAIL() << "opened";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("/nonexistent/halvik/no.bmp"), std::string::npos) << e.what();
  }
  const std::string path = ::testing::TempDir() + "halvik_stream_test.bin";
  {
    TFileStream f(path, TFileMode::fmCreate);
    f.WriteBuffer("0123456789", 10);
  }
  TFileStream f(path, TFileMode::fmOpenRead);
  EXPECT_EQ(f.Size(), 10);
  f.SetPosition(7);
  char buf[3];
  f.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
  std::remove(path.c_str());
}

TEST(FormDescription, ReadsValuesOfEveryKindAndNestedObjects) {
  const TObjectDescription d = ParseFormDescription(
      "object F: TF\n  Left = -12\n  Caption = 'it''s'#65325'!'\n  Style = [a, b]\n"
      "  Color = clGray\n  object T: TTimer\n    Interval = 30\n  end\nend\n");
  EXPECT_EQ(d.Name, "F");
  EXPECT_EQ(d.ClassName, "TF");
  ASSERT_EQ(d.Properties.size(), 4u);
  EXPECT_EQ(d.Properties[0].Value.Integer, -12);
  EXPECT_EQ(d.Properties[1].Value.Text, "it's\uFF2D!");
  EXPECT_EQ(d.Properties[2].Value.Items, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(d.Properties[3].Value.Kind, TPropValue::TKind::Identifier);
  ASSERT_EQ(d.Children.size(), 1u);
  EXPECT_EQ(d.Children[0].Properties[0].Value.Integer, 30);
}

TEST(FormDescription, MalformedTextRaisesWithTheLine) {
  const struct { const char* text; const char* line; } cases[] = {
      {"object F TF\nend\n", "line 1"},
      {"object F: TF\n  Left 12\nend\n", "line 2"},
      {"object F: TF\n  Left = 12x\nend\n", "line 2"},
      {"object F: TF\n  Caption = 'open\nend\n", "line 2"},
      {"object F: TF\n  Left = 1\n", "missing 'end'"},
      {"object F: TF\nend\nextra\n", "after the last"},
      {"object F: TF\n  Style = [a\nend\n", "line 2"},
      {"object F: TF\n  Left = 99999999999999999999\nend\n", "line 2"},
  };
  for (const auto& c : cases) {
    try {
      ParseFormDescription(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EReadError& e) {
      EXPECT_NE(e.Message().find(c.line), std::string::npos) << e.what();
    }
  }
}

// A form whose description and handlers a test controls.
class TProbeForm : public TForm {
 public:
  explicit TProbeForm(TComponent* Owner) : TForm(Owner) {}
  std::string ClassName() const override { return "TProbeForm"; }
  TTimer* Tick = nullptr;
  int ticks = 0;
  bool throw_on_tick = true;
  void TickTimer(TObject*) {
    ++ticks;
    if (throw_on_tick) throw EInvalidGraphicOperation("tick " + std::to_string(ticks) + " failed");
  }
  void FormCreate(TObject*) { throw EOutOfResources("create failed"); }

 protected:
  TNotifyEvent MethodAddress(const std::string& Name) override {
    if (Name == "TickTimer") return [this](TObject* s) { TickTimer(s); };
    if (Name == "FormCreate") return [this](TObject* s) { FormCreate(s); };
    return TForm::MethodAddress(Name);
  }
  bool SetField(const std::string& Name, TComponent* C) override {
    if (Name == "Tick") return (Tick = dynamic_cast<TTimer*>(C)) != nullptr;
    return TForm::SetField(Name, C);
  }
};

const bool kProbeRegistered = (RegisterFormResource("TPROBEFORM", R"(object ProbeForm: TProbeForm
  Width = 100
  Height = 80
  Visible = True
  OnCreate = FormCreate
  object Tick: TTimer
    Interval = 10
    OnTimer = TickTimer
  end
end
)"), true);

class PlatformLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPlatform(&desk_); }
  void TearDown() override {
    DoneApplication();
    SetPlatform(nullptr);
  }
  THeadlessBackend desk_{100, 100};
};

TEST_F(PlatformLoopTest, HandlerErrorsAreShownAndTheLoopGoesOn) {
  ASSERT_TRUE(kProbeRegistered);
  Application->Initialize();
  TProbeForm* form = nullptr;
  Application->CreateForm(form);  // its OnCreate raises: shown, and the form is still made
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(desk_.ShownExceptions().size(), 1u);
  EXPECT_EQ(desk_.ShownExceptions()[0], "create failed");
  EXPECT_TRUE(form->HandleAllocated());
  desk_.SetDriver([&](THeadlessBackend& d) {
    if (d.Now() >= 50) d.PostClose();
    else d.AdvanceTime(10);
    return true;
  });
  Application->Run();
  EXPECT_EQ(form->ticks, 5);
  ASSERT_EQ(desk_.ShownExceptions().size(), 6u);
  EXPECT_EQ(desk_.ShownExceptions()[5], "tick 5 failed");
  EXPECT_TRUE(desk_.Window(desk_.Windows()[0]).Visible);  // Visible = True shows at Run
}

TEST_F(PlatformLoopTest, UnknownPropertiesAndHandlersAreErrorsOfTheDescription) {
  RegisterFormResource("TPROBEFORM", "object P: TProbeForm\n  OnPaint = NoSuchHandler\nend\n");
  TProbeForm* form = nullptr;
  EXPECT_THROW(Application->CreateForm(form), EReadError);
  RegisterFormResource("TPROBEFORM", "object P: TProbeForm\n  Colour = clGray\nend\n");
  EXPECT_THROW(Application->CreateForm(form), EReadError);
}

}  // namespace
}  // namespace halvik
