// Components, the timer, forms, the screen and the application object.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Backend.h"
#include "platform/core/Classes.h"
#include "platform/core/FormDescription.h"
#include "platform/core/Graphics.h"

namespace halvik {

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Runs a handler; an exception that leaves it goes to the application's exception display.
void CallHandler(const TNotifyEvent& Handler, TObject* Sender);

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* Owner);
  // Destroys the owned components, last created first.
  ~TComponent() override;
  std::string ClassName() const override { return "TComponent"; }
  TComponent* Owner() const { return owner_; }
  std::string Name;

  // Sets one stored property; Root is the object whose handlers events bind to. Raises
  // EReadError for a property the class does not have or a value it cannot take.
  virtual void SetProperty(const TPropAssignment& Prop, TComponent& Root);

 protected:
  // The published handler of that name, or an empty function.
  virtual TNotifyEvent MethodAddress(const std::string& Name);
  // Sets the published field of that name to Component; false when there is no such field
  // (or it cannot hold that class).
  virtual bool SetField(const std::string& Name, TComponent* Component);
  // Reads a stored description into this object: its properties, then its components.
  void ReadState(const TObjectDescription& Description, TComponent& Root);
  TNotifyEvent BindEvent(const TPropAssignment& Prop, TComponent& Root);
  // Destroys the owned components now, last created first.
  void DestroyComponents();
  [[noreturn]] static void BadProperty(const TPropAssignment& Prop, const std::string& Why);

 private:
  friend class TTimer;
  void Insert(TComponent* Child) { components_.push_back(Child); }
  void Remove(TComponent* Child);
  TComponent* owner_;
  std::vector<TComponent*> components_;
};

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* Owner) : TComponent(Owner) {}
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  const TNotifyEvent& OnTimer() const { return on_timer_; }
  void SetOnTimer(TNotifyEvent Handler);
  void SetProperty(const TPropAssignment& Prop, TComponent& Root) override;

 private:
  // The platform timer runs while enabled, with an interval and a handler.
  void Update();
  unsigned interval_ = 1000;
  bool enabled_ = true;
  TNotifyEvent on_timer_;
  TTimerId timer_ = 0;
};

enum class TFormStyle { fsNormal, fsStayOnTop };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition { poDesigned, poDefault, poScreenCenter };

struct TFont {
  int Charset = 1;  // DEFAULT_CHARSET
  TColor Color = clWindowText;
  int Height = -11;
  std::string Name = "Tahoma";
  std::vector<std::string> Style;
};

class TForm : public TComponent, private TWindowListener {
 public:
  explicit TForm(TComponent* Owner);
  ~TForm() override;
  // Hides the window, runs OnDestroy, then destroys the components and the window.
  void BeforeDestruction() override;
  std::string ClassName() const override { return "TForm"; }

  // Reads the stored description named after the class (upper case) and runs OnCreate.
  void Create();

  // Outer bounds: the current ones while shown normal or maximized, else the normal ones.
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  // The client size; while minimized or hidden, that of the normal bounds.
  int ClientWidth() const;
  int ClientHeight() const;

  std::string Caption;
  TColor Color = 0x80000000 | 15;  // clBtnFace until the description says otherwise
  bool TransparentColor = false;
  TColor TransparentColorValue = 0;
  TFormStyle FormStyle = TFormStyle::fsNormal;
  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
  std::vector<std::string> BorderIcons{"biSystemMenu", "biMinimize", "biMaximize"};
  TPosition Position = TPosition::poDesigned;
  bool AlphaBlend = false;
  int AlphaBlendValue = 255;
  bool OldCreateOrder = false;
  TFont Font;
  int PixelsPerInch = 96;
  int TextHeight = 13;

  TWindowState WindowState() const { return state_; }
  void SetWindowState(TWindowState State);
  bool Visible() const { return visible_; }
  void Show();
  void Hide();
  // Asks the form to close; the main form's close ends the application.
  void Close();
  void Invalidate();

  TNotifyEvent OnCreate, OnResize, OnPaint, OnDestroy;

  TCanvas& Canvas();
  // The window, created on first use.
  TWindowId Handle();
  bool HandleAllocated() const { return window_ != 0; }

  void SetProperty(const TPropAssignment& Prop, TComponent& Root) override;

 private:
  class TFormCanvas;
  void WindowBoundsChanged(const TRect& Outer, int ClientWidth, int ClientHeight) override;
  void WindowStateChanged(TWindowState State) override;
  void WindowPaint() override;
  void WindowClose() override;
  void DestroyHandle();
  void Resize() { CallHandler(OnResize, this); }
  TWindowParams Params() const;
  bool ShownInPlace() const { return window_ && visible_ && state_ != TWindowState::wsMinimized; }

  TRect normal_;                 // normal-state outer bounds
  TRect current_;                // outer bounds as last reported
  int client_w_ = 0, client_h_ = 0;  // client size as last reported
  TFrameMetrics frame_;
  TWindowState state_ = TWindowState::wsNormal;
  bool visible_ = false;
  TWindowId window_ = 0;
  std::unique_ptr<TFormCanvas> canvas_;
};

class TScreen {
 public:
  int Width() const { return Platform().ScreenWidth(); }
  int Height() const { return Platform().ScreenHeight(); }
};

class TApplication : public TComponent, private TApplicationListener {
 public:
  TApplication();
  ~TApplication() override;
  std::string ClassName() const override { return "TApplication"; }

  // Installs the back end this program was built with, unless one is installed already.
  void Initialize();
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& Title);

  // Makes a form of class T owned by the application; Reference points at it before its
  // creation handler runs. The first form made is the main form, and its window is created.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    AddForm(form);
  }

  TForm* MainForm() const { return main_form_; }
  // Shows the main form as the start asks, then runs the message loop until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Minimizes the application to its taskbar entry; Restore shows the main form again.
  void Minimize();
  void Restore();
  // The default exception display.
  void HandleException(const std::exception& E);

 private:
  void ApplicationRestore() override { Restore(); }
  void AddForm(TForm* Form);
  std::string title_;
  TForm* main_form_ = nullptr;
  bool terminated_ = false;
  std::unique_ptr<TPlatformBackend> own_backend_;
};

extern TApplication* Application;
extern TScreen* Screen;

// The back end the program was built with; each back-end library defines it.
std::unique_ptr<TPlatformBackend> CreateBuildBackend();

// Exit processing: destroys the application with its forms, then a fresh one takes its place
// (tests run several programs in one process).
void DoneApplication();

}  // namespace halvik
