// The entry block: start the application, make the main window, run until it closes.
#include "app/Unit1.h"

int main() {
  using namespace halvik;
  Application->Initialize();
  Application->SetTitle("Halvik");
  Application->CreateForm(Form1);
  Application->Run();
  return 0;
}
