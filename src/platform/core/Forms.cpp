#include "platform/core/Forms.h"

#include <algorithm>

#include "platform/core/Exceptions.h"

namespace halvik {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

// The platform's globals exist before the program's entry block runs, and exit processing
// destroys the application (and with it the forms) after the entry block returns.
struct TGlobals {
  TGlobals() {
    Screen = new TScreen();
    Application = new TApplication();
  }
  ~TGlobals() {
    TObject::Free(Application);
    Application = nullptr;
    delete Screen;
    Screen = nullptr;
  }
} g_globals;

bool AsBool(const TPropAssignment& P, bool& Out) {
  if (P.Value.Kind != TPropValue::TKind::Identifier) return false;
  if (P.Value.Text == "True") { Out = true; return true; }
  if (P.Value.Text == "False") { Out = false; return true; }
  return false;
}

}  // namespace

void DoneApplication() {
  TObject::Free(Application);
  Application = new TApplication();
}

void CallHandler(const TNotifyEvent& Handler, TObject* Sender) {
  if (!Handler) return;
  try {
    Handler(Sender);
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(e);
  }
}

// ---- TComponent

TComponent::TComponent(TComponent* Owner) : owner_(Owner) {
  if (owner_) owner_->Insert(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) owner_->Remove(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) Free(components_.back());  // each removes itself
}

void TComponent::Remove(TComponent* Child) {
  components_.erase(std::remove(components_.begin(), components_.end(), Child), components_.end());
}

TNotifyEvent TComponent::MethodAddress(const std::string&) { return {}; }
bool TComponent::SetField(const std::string&, TComponent*) { return false; }

void TComponent::BadProperty(const TPropAssignment& Prop, const std::string& Why) {
  throw EReadError("Form description, line " + std::to_string(Prop.Line) + ": property " + Prop.Name +
                   ": " + Why);
}

void TComponent::SetProperty(const TPropAssignment& Prop, TComponent&) { BadProperty(Prop, "does not exist"); }

TNotifyEvent TComponent::BindEvent(const TPropAssignment& Prop, TComponent& Root) {
  if (Prop.Value.Kind != TPropValue::TKind::Identifier) BadProperty(Prop, "an event takes a handler name");
  TNotifyEvent handler = Root.MethodAddress(Prop.Value.Text);
  if (!handler) BadProperty(Prop, "no published handler " + Prop.Value.Text);
  return handler;
}

void TComponent::ReadState(const TObjectDescription& D, TComponent& Root) {
  Name = D.Name;
  for (const TPropAssignment& p : D.Properties) SetProperty(p, Root);
  for (const TObjectDescription& child : D.Children) {
    if (child.ClassName != "TTimer")
      throw EReadError("Form description: class " + child.ClassName + " is not registered");
    auto* timer = new TTimer(this);
    if (!Root.SetField(child.Name, timer)) {
      delete timer;
      throw EReadError("Form description: no published field " + child.Name + " for a " + child.ClassName);
    }
    timer->ReadState(child, Root);
  }
}

// ---- TTimer

TTimer::~TTimer() {
  if (timer_) Platform().StopTimer(timer_);
}

void TTimer::SetInterval(unsigned Value) {
  interval_ = Value;
  Update();
}

void TTimer::SetEnabled(bool Value) {
  enabled_ = Value;
  Update();
}

void TTimer::SetOnTimer(TNotifyEvent Handler) {
  on_timer_ = std::move(Handler);
  Update();
}

void TTimer::Update() {
  if (timer_) Platform().StopTimer(timer_);
  timer_ = 0;
  if (enabled_ && interval_ > 0 && on_timer_)
    timer_ = Platform().StartTimer(interval_, [this] { CallHandler(on_timer_, this); });
}

void TTimer::SetProperty(const TPropAssignment& P, TComponent& Root) {
  bool b;
  if (P.Name == "Interval" && P.Value.Kind == TPropValue::TKind::Integer && P.Value.Integer >= 0 &&
      P.Value.Integer <= 0x7FFFFFFF)
    SetInterval(unsigned(P.Value.Integer));
  else if (P.Name == "Enabled" && AsBool(P, b))
    SetEnabled(b);
  else if (P.Name == "OnTimer")
    SetOnTimer(BindEvent(P, Root));
  else if (P.Name == "Left" || P.Name == "Top")
    return;  // where the designer showed the icon
  else
    TComponent::SetProperty(P, Root);
}

// ---- TForm

class TForm::TFormCanvas : public TCanvas {
 public:
  explicit TFormCanvas(TForm& Owner) : owner_(Owner) {}
  ~TFormCanvas() override { Release(); }
  HDC Handle() override {
    if (dc_ == nullptr) {
      window_ = owner_.Handle();
      dc_ = Platform().GetDC(window_);
      if (dc_ == nullptr) throw EOutOfResources("Cannot get a device context for the window's canvas");
    }
    return dc_;
  }
  void Release() {
    if (dc_) Platform().ReleaseDC(window_, dc_);
    dc_ = nullptr;
  }

 private:
  TForm& owner_;
  TWindowId window_ = 0;
  HDC dc_ = nullptr;
};

TForm::TForm(TComponent* Owner) : TComponent(Owner) {}

TForm::~TForm() {
  DestroyComponents();
  DestroyHandle();
}

void TForm::BeforeDestruction() {
  if (window_) Platform().HideFormWindow(window_);
  visible_ = false;
  // OnDestroy runs while the form is whole; the components (the timer) go next, then the window.
  CallHandler(OnDestroy, this);
  DestroyComponents();
  DestroyHandle();
}

void TForm::DestroyHandle() {
  if (canvas_) canvas_.reset();
  if (window_) Platform().DestroyFormWindow(window_);
  window_ = 0;
}

void TForm::Create() {
  const std::string resource = [&] {
    std::string r = ClassName();
    for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
  }();
  const char* text = FindFormResource(resource);
  if (text == nullptr) throw EReadError("Resource " + resource + " not found");
  ReadState(ParseFormDescription(text), *this);
  // With OldCreateOrder False the creation handler runs once everything is constructed; an
  // error in it is shown and does not stop the form's creation.
  CallHandler(OnCreate, this);
}

TWindowParams TForm::Params() const {
  TWindowParams p;
  p.Bounds = normal_;
  p.Caption = Caption;
  p.Color = Color;
  p.TransparentColor = TransparentColor;
  p.TransparentColorValue = TransparentColorValue;
  p.StayOnTop = FormStyle == TFormStyle::fsStayOnTop;
  p.Sizeable = BorderStyle == TFormBorderStyle::bsSizeable || BorderStyle == TFormBorderStyle::bsSizeToolWin;
  auto has = [&](const char* icon) { return std::find(BorderIcons.begin(), BorderIcons.end(), icon) != BorderIcons.end(); };
  p.SystemMenu = has("biSystemMenu");
  p.MinimizeBox = has("biMinimize");
  p.MaximizeBox = has("biMaximize");
  p.AlphaBlend = AlphaBlend;
  p.AlphaBlendValue = uint8_t(std::clamp(AlphaBlendValue, 0, 255));
  return p;
}

TWindowId TForm::Handle() {
  if (window_ == 0) {
    const TWindowParams p = Params();
    frame_ = Platform().FrameMetrics(p);
    window_ = Platform().CreateFormWindow(p, this);
    current_ = normal_;
  }
  return window_;
}

int TForm::Left() const { return ShownInPlace() ? current_.Left : normal_.Left; }
int TForm::Top() const { return ShownInPlace() ? current_.Top : normal_.Top; }
int TForm::Width() const { return ShownInPlace() ? current_.Width() : normal_.Width(); }
int TForm::Height() const { return ShownInPlace() ? current_.Height() : normal_.Height(); }

int TForm::ClientWidth() const {
  if (ShownInPlace()) return client_w_;
  return std::max(0, normal_.Width() - frame_.Left - frame_.Right);
}

int TForm::ClientHeight() const {
  if (ShownInPlace()) return client_h_;
  return std::max(0, normal_.Height() - frame_.Top - frame_.Bottom);
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TRect r = Bounds(ALeft, ATop, std::max(0, AWidth), std::max(0, AHeight));
  if (state_ != TWindowState::wsMaximized) normal_ = r;
  if (window_) Platform().SetWindowBounds(window_, r);
}

void TForm::SetWindowState(TWindowState State) {
  if (State == state_) return;
  state_ = State;
  if (window_ && visible_) Platform().ShowFormWindow(window_, state_);
}

void TForm::Show() {
  visible_ = true;
  Platform().ShowFormWindow(Handle(), state_);
}

void TForm::Hide() {
  visible_ = false;
  if (window_) Platform().HideFormWindow(window_);
}

void TForm::Close() {
  if (Application && Application->MainForm() == this)
    Application->Terminate();
  else
    Hide();
}

void TForm::Invalidate() {
  if (window_) Platform().InvalidateWindow(window_);
}

TCanvas& TForm::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TFormCanvas>(*this);
  return *canvas_;
}

void TForm::WindowBoundsChanged(const TRect& Outer, int CW, int CH) {
  const bool sized = CW != client_w_ || CH != client_h_;
  current_ = Outer;
  client_w_ = CW;
  client_h_ = CH;
  if (state_ == TWindowState::wsNormal && visible_) normal_ = Outer;
  if (sized) Resize();
}

void TForm::WindowStateChanged(TWindowState State) {
  if (State == state_) return;
  state_ = State;
  if (State != TWindowState::wsMinimized) visible_ = true;
  Resize();  // a state change comes with a size message on every platform
  if (State == TWindowState::wsMinimized && Application && Application->MainForm() == this)
    Application->Minimize();
}

void TForm::WindowPaint() { CallHandler(OnPaint, this); }

void TForm::WindowClose() { Close(); }

void TForm::SetProperty(const TPropAssignment& P, TComponent& Root) {
  using K = TPropValue::TKind;
  const TPropValue& v = P.Value;
  auto integer = [&](long long lo, long long hi) {
    if (v.Kind != K::Integer || v.Integer < lo || v.Integer > hi) BadProperty(P, "needs a whole number");
    return int(v.Integer);
  };
  auto colour = [&]() -> TColor {
    if (v.Kind == K::Integer && v.Integer >= 0 && v.Integer <= 0xFFFFFFFFLL) return TColor(v.Integer);
    static const struct { const char* name; TColor c; } names[] = {
        {"clBlack", clBlack}, {"clWhite", clWhite}, {"clGray", clGray}, {"clWindowText", clWindowText}};
    for (const auto& n : names)
      if (v.Kind == K::Identifier && v.Text == n.name) return n.c;
    BadProperty(P, "needs a colour");
  };
  auto boolean = [&] {
    bool b;
    if (!AsBool(P, b)) BadProperty(P, "needs True or False");
    return b;
  };
  auto ident = [&](std::initializer_list<const char*> allowed) {
    int i = 0;
    for (const char* a : allowed) {
      if (v.Kind == K::Identifier && v.Text == a) return i;
      ++i;
    }
    BadProperty(P, "has no value " + v.Text);
  };
  const std::string& n = P.Name;
  if (n == "Left") normal_ = Bounds(integer(-32768, 32767), normal_.Top, normal_.Width(), normal_.Height());
  else if (n == "Top") normal_ = Bounds(normal_.Left, integer(-32768, 32767), normal_.Width(), normal_.Height());
  else if (n == "Width") normal_ = Bounds(normal_.Left, normal_.Top, integer(0, 32767), normal_.Height());
  else if (n == "Height") normal_ = Bounds(normal_.Left, normal_.Top, normal_.Width(), integer(0, 32767));
  else if (n == "Caption") {
    if (v.Kind != K::String) BadProperty(P, "needs a string");
    Caption = v.Text;
  } else if (n == "Color") Color = colour();
  else if (n == "TransparentColor") TransparentColor = boolean();
  else if (n == "TransparentColorValue") TransparentColorValue = colour();
  else if (n == "FormStyle") FormStyle = TFormStyle(ident({"fsNormal", "fsStayOnTop"}));
  else if (n == "WindowState") state_ = TWindowState(ident({"wsNormal", "wsMinimized", "wsMaximized"}));
  else if (n == "BorderStyle")
    BorderStyle = TFormBorderStyle(ident({"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}));
  else if (n == "Position") Position = TPosition(ident({"poDesigned", "poDefault", "poScreenCenter"}));
  else if (n == "BorderIcons") {
    if (v.Kind != K::Set) BadProperty(P, "needs a set");
    BorderIcons = v.Items;
  } else if (n == "AlphaBlend") AlphaBlend = boolean();
  else if (n == "AlphaBlendValue") AlphaBlendValue = integer(0, 255);
  else if (n == "OldCreateOrder") OldCreateOrder = boolean();
  else if (n == "Visible") visible_ = boolean();
  else if (n == "Font.Charset") {
    if (v.Kind == K::Integer) Font.Charset = integer(0, 255);
    else Font.Charset = std::vector<int>{0, 1, 128}[size_t(ident({"ANSI_CHARSET", "DEFAULT_CHARSET", "SHIFTJIS_CHARSET"}))];
  } else if (n == "Font.Color") Font.Color = colour();
  else if (n == "Font.Height") Font.Height = integer(-32768, 32767);
  else if (n == "Font.Name") {
    if (v.Kind != K::String) BadProperty(P, "needs a string");
    Font.Name = v.Text;
  } else if (n == "Font.Style") {
    if (v.Kind != K::Set) BadProperty(P, "needs a set");
    Font.Style = v.Items;
  } else if (n == "PixelsPerInch") PixelsPerInch = integer(1, 10000);
  else if (n == "TextHeight") TextHeight = integer(0, 10000);
  else if (n == "OnCreate") OnCreate = BindEvent(P, Root);
  else if (n == "OnDestroy") OnDestroy = BindEvent(P, Root);
  else if (n == "OnPaint") OnPaint = BindEvent(P, Root);
  else if (n == "OnResize") OnResize = BindEvent(P, Root);
  else TComponent::SetProperty(P, Root);
}

// ---- TApplication

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
  // Forms go first (their OnDestroy may still use the platform), then our back end.
  DestroyComponents();
  main_form_ = nullptr;
  Platform().SetApplicationListener(nullptr);
  if (own_backend_) {
    SetPlatform(nullptr);
    own_backend_.reset();
  }
}

void TApplication::Initialize() {
  if (Platform().Name() == "memory") {
    own_backend_ = CreateBuildBackend();
    SetPlatform(own_backend_.get());
  }
  Platform().SetApplicationListener(this);
}

void TApplication::SetTitle(const std::string& Title) {
  title_ = Title;
  Platform().SetApplicationTitle(Title);
}

void TApplication::AddForm(TForm* Form) {
  const bool first = main_form_ == nullptr;
  if (first) main_form_ = Form;
  Form->Create();
  if (first) {
    try {
      Form->Handle();
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
}

void TApplication::Run() {
  Platform().SetApplicationListener(this);
  if (main_form_ && !terminated_) {
    try {
      if (Platform().StartupShowCommand() == TShowCommand::Maximized) {
        main_form_->SetWindowState(TWindowState::wsMaximized);
        main_form_->Show();
      } else if (main_form_->WindowState() == TWindowState::wsMinimized) {
        Minimize();
      } else if (main_form_->Visible()) {
        main_form_->Show();
      }
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
  if (!terminated_) Platform().RunMessageLoop();
}

void TApplication::Terminate() {
  terminated_ = true;
  Platform().Terminate();
}

void TApplication::Minimize() {
  if (main_form_ && main_form_->HandleAllocated())
    Platform().ShowFormWindow(main_form_->Handle(), TWindowState::wsMinimized);
}

void TApplication::Restore() {
  if (!main_form_) return;
  try {
    main_form_->SetWindowState(TWindowState::wsNormal);
    main_form_->Show();
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TApplication::HandleException(const std::exception& E) { Platform().ShowException(E.what()); }

}  // namespace halvik
