#include "Forms.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>

TApplication Application;
TScreen Screen;

std::string TApplication::ErrorText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void TApplication::HandleException(const std::exception& e) { Report(e.what()); }

void TApplication::HandleUnknownException() { Report("Unknown error"); }

void TApplication::Report(const std::string& message) {
  const std::string text = ErrorText(message);
  if (FSink) {
    FSink(text);
    return;
  }
  auto* app = QCoreApplication::instance();
  if (!app) return;
  // Shown after the failing handler has returned, so no event handler is
  // re-entered from inside the box's own event loop.
  QMetaObject::invokeMethod(
      app,
      [text] {
        const QString title = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QMessageBox box(QMessageBox::Critical, title, QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
        box.exec();
      },
      Qt::QueuedConnection);
}

void TScreen::SetCursor(int c) {
  if (c == FCursor) return;
  FCursor = c;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  QGuiApplication::restoreOverrideCursor();
  if (c == crHourGlass) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}
