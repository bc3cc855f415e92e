#pragma once
// The application object: the one place where errors that escape an event
// handler are reported, and the application-wide cursor.
#include <exception>
#include <functional>
#include <string>

constexpr int crDefault = 0;
constexpr int crHourGlass = -11;

class TApplication {
 public:
  // The text the error box shows: the message with a full stop appended when
  // its last character sorts after the full stop.
  static std::string ErrorText(const std::string& message);

  // Starts watching the mouse buttons, so that an error box can wait for a
  // press to end. Called once the Qt application exists.
  void Initialize();

  // Reports an error that escaped an event handler. With a sink installed the
  // text goes there at once; otherwise a message box (error icon, OK button,
  // titled with the program's file name) shows it after the running handler
  // has returned, once no mouse button is held and no other box is open:
  // boxes come one at a time, in the order of their errors.
  void HandleException(const std::exception& e);
  void HandleUnknownException();

  // Runs one entry from the window system into our code; no exception leaves.
  template <class F>
  void Guard(F&& f) noexcept {
    try {
      f();
    } catch (const std::exception& e) {
      HandleException(e);
    } catch (...) {
      HandleUnknownException();
    }
  }

  using ErrorSink = std::function<void(const std::string& text)>;
  // Tests and the snapshot tool replace the message box with a sink.
  void SetErrorSink(ErrorSink sink) { FSink = std::move(sink); }

  std::string ExeName;  // full path of the running executable

 private:
  void Report(const std::string& message);
  ErrorSink FSink;
};

extern TApplication Application;

// The application-wide cursor: a value, not a stack.
class TScreen {
 public:
  int Cursor() const { return FCursor; }
  void SetCursor(int c);
  // Bits per pixel of the screen, measured once when the application starts.
  int BitsPerPixel = 32;

 private:
  int FCursor = crDefault;
};

extern TScreen Screen;
