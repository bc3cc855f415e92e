#pragma once
// The folder tree: every folder of the file system under one root node, with
// the platform's folder icons and no watching of the file system.
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <optional>
#include <string>

class QMenu;
class TFolderModel;

class TShellTreeView : public QTreeView {
 public:
  explicit TShellTreeView(QWidget* parent = nullptr);

  // Raised after a primary-button click has been handled by the tree (the
  // node under the pointer is then selected), wherever the click landed;
  // also for Return, and once the keys that made another folder current
  // have stopped: a key held down raises it only where it stops.
  std::function<void()> OnClick;
  // How long after a key's release the folder it made current is listed,
  // unless another key comes first.
  static constexpr int kKeyListingDelayMs = 200;

  // Path of the selected folder, as the file system names it; none when no
  // folder is selected.
  std::optional<std::string> SelectedPath() const;
  // Selects the folder at path (made known to the tree first) and keeps it
  // in view while the tree reads and sorts the folders around it, until the
  // person turns to the tree; false when the tree has no node for it.
  bool SelectPath(const std::string& path);
  TFolderModel& Model() const { return *FModel; }

  // The menu of a folder, as far as the desktop offers one: open it in the
  // file manager, open a terminal there (when one is installed), copy its
  // path. Nothing of it writes to the file system.
  static QMenu* MakeFolderMenu(const QString& path, QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void KeepInView();

  TFolderModel* FModel;
  QPersistentModelIndex FKeptInView;
  QTimer FKeyListing;
  bool FMovedByKey = false;
};
