#include "app/ShellTreeView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QUrl>

#include "app/FolderModel.h"

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent), FModel(new TFolderModel(this)) {
  FModel->setRootPath("/");
  // Folders by name, as a person looks for them.
  FModel->sort(0, Qt::AscendingOrder);
  setModel(FModel);
  // The model's invisible top holds a single node, "/", the whole file system.
  for (int column = 1; column < FModel->columnCount(); ++column) hideColumn(column);
  header()->hide();
  setRootIsDecorated(false);
  setIndentation(19);
  setSelectionMode(QAbstractItemView::SingleSelection);
  const QModelIndex root = FModel->index("/");
  expand(root);
  setCurrentIndex(root);
  // Folders read later are inserted, and sorted, above and below the one
  // kept in view.
  connect(FModel, &QAbstractItemModel::rowsInserted, this, [this] { KeepInView(); });
  connect(FModel, &QAbstractItemModel::layoutChanged, this, [this] { KeepInView(); });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this] { FKeptInView = QPersistentModelIndex(); });
  FKeyListing.setSingleShot(true);
  FKeyListing.setInterval(kKeyListingDelayMs);
  connect(&FKeyListing, &QTimer::timeout, this, [this] {
    FMovedByKey = false;
    if (OnClick) OnClick();
  });
}

void TShellTreeView::KeepInView() {
  if (FKeptInView.isValid()) scrollTo(FKeptInView);
}

std::optional<std::string> TShellTreeView::SelectedPath() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return std::nullopt;
  return QFile::encodeName(FModel->filePath(selected.first())).toStdString();
}

bool TShellTreeView::SelectPath(const std::string& path) {
  // Bytes that are not valid in the local encoding do not survive decoding;
  // such a path would name another folder, or none. The tree shows no such
  // folder either.
  const QString name = QFile::decodeName(QByteArray::fromStdString(path));
  if (QFile::encodeName(name).toStdString() != path) return false;
  const QModelIndex index = FModel->index(name);
  if (!index.isValid()) return false;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
  setCurrentIndex(index);
  FKeptInView = index;
  scrollTo(index);
  return true;
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
  FKeptInView = QPersistentModelIndex();
  // The click lists what the keys made current.
  FKeyListing.stop();
  FMovedByKey = false;
  // Below the last node there is nothing to select: the selection stays,
  // and the click lists the selected folder again, as beside a node.
  if (!indexAt(event->position().toPoint()).isValid()) {
    setFocus(Qt::MouseFocusReason);
    return;
  }
  QTreeView::mousePressEvent(event);
}

void TShellTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && OnClick) OnClick();
}

void TShellTreeView::keyPressEvent(QKeyEvent* event) {
  FKeptInView = QPersistentModelIndex();
  FKeyListing.stop();
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const QModelIndex before = currentIndex();
  QTreeView::keyPressEvent(event);
  if (currentIndex() != before) FMovedByKey = true;
  if (enter && !event->isAutoRepeat()) {
    FMovedByKey = false;
    if (OnClick) OnClick();
  }
}

// Held keys repeat as presses and releases marked so; only the last, real
// release counts.
void TShellTreeView::keyReleaseEvent(QKeyEvent* event) {
  QTreeView::keyReleaseEvent(event);
  if (!event->isAutoRepeat() && FMovedByKey) FKeyListing.start();
}

void TShellTreeView::wheelEvent(QWheelEvent* event) {
  FKeptInView = QPersistentModelIndex();
  QTreeView::wheelEvent(event);
}

void TShellTreeView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  KeepInView();
}

void TShellTreeView::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex index = indexAt(event->pos());
  if (!index.isValid()) return;
  setCurrentIndex(index);
  QMenu* menu = MakeFolderMenu(FModel->filePath(index), this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

QMenu* TShellTreeView::MakeFolderMenu(const QString& path, QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->addAction("Open", [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
  const QString terminal = QStandardPaths::findExecutable("x-terminal-emulator");
  if (!terminal.isEmpty()) {
    menu->addAction("Open Terminal Here", [terminal, path] { QProcess::startDetached(terminal, {}, path); });
  }
  menu->addSeparator();
  menu->addAction("Copy Path", [path] { QGuiApplication::clipboard()->setText(path); });
  return menu;
}
