#pragma once
// Object model of the toolkit: persistent objects with assignment, components
// with ownership, string lists and notification events.
#include <functional>
#include <string>
#include <vector>

class TObject {
 public:
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Objects that can copy themselves into each other. Assign asks the source
// to AssignTo this object; AssignTo fails with the standard assignment error.
class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  virtual void Assign(const TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest) const;
  // Raises EConvertError "Cannot assign a <source> to a <this class>".
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

// Component state flags.
constexpr unsigned csDesigning = 1;
constexpr unsigned csLoading = 2;

// A component frees the components it owns when it is destroyed.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& n) { FName = n; }
  unsigned ComponentState() const { return FComponentState; }
  void SetDesigning(bool on);
  int ComponentCount() const { return int(FComponents.size()); }

 private:
  void InsertComponent(TComponent* c) { FComponents.push_back(c); }
  void RemoveComponent(TComponent* c);

  TComponent* FOwner = nullptr;
  std::string FName;
  unsigned FComponentState = 0;
  std::vector<TComponent*> FComponents;
};

// Ordered, unsorted list of strings.
class TStringList : public TPersistent {
 public:
  std::string ClassName() const override { return "TStringList"; }
  int Count() const { return int(FItems.size()); }
  const std::string& operator[](int i) const { return FItems.at(size_t(i)); }
  void Add(std::string s) { FItems.push_back(std::move(s)); }
  void Clear() { FItems.clear(); }
  const std::vector<std::string>& Items() const { return FItems; }

 private:
  std::vector<std::string> FItems;
};
