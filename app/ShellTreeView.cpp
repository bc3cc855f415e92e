#include "app/ShellTreeView.h"

#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMouseEvent>

#include "toolkit/Forms.h"

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent), FModel(new QFileSystemModel(this)) {
  FModel->setOption(QFileSystemModel::DontWatchForChanges);
  FModel->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
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
  scrollTo(index);
  return true;
}

void TShellTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && OnClick) OnClick();
}
