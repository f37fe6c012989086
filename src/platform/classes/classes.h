// The component framework: persistent objects, components with owners, names
// and notifications, collections of items, string lists and pointer lists, and
// the filer interface that streaming implements.
//
// Ownership:
//  - A component is owned by its Owner (given to its constructor; may be null),
//    which frees it (Free) when it is freed itself. An owner-less component is
//    freed by whoever created it.
//  - A collection owns its items; an item lives in exactly one collection at a
//    time and is freed by Delete, Clear or the collection's destruction.
//  - A component that refers to another one that it does not own asks for a free
//    notification (FreeNotification) and clears its reference in Notification
//    on opRemove. Links are two-way and cleared when either side dies, so
//    neither side is left with a dangling pointer.
//  - TStrings and TList never own the objects or pointers they hold.
//
// Lifetime: see system.h. In short: Create<T>(...) to make, Free to destroy.
// What needs the object whole while dying (csDestroying, freeing owned
// components, free notifications, an item telling listeners it is going) runs
// in BeforeDestruction, which Free calls; a plain delete is still safe but its
// virtual calls reach the base class only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/classes/system.h>
#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

class TFiler;
class TReader;
class TWriter;
class TComponent;
class TCollection;
class TCollectionItem;

// ---------------------------------------------------------------------------
// Errors

class EComponentError : public Exception {
 public:
  using Exception::Exception;
};
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFilerError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EReadError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};
class EClassNotFound : public EFilerError {
 public:
  using EFilerError::EFilerError;
};
class EStringListError : public EListError {
 public:
  using EListError::EListError;
};

// ---------------------------------------------------------------------------
// TPersistent: an object that can be assigned to another and streamed.

class TPersistent : public TObject {
  FYNDRA_CLASS(TPersistent, TObject)
 public:
  // Copies Source into this object: Source->AssignTo(this); raises EConvertError
  // "Cannot assign a X to a Y" when neither side knows how.
  virtual void Assign(TPersistent* Source);
  // The object that owns this one in the streaming sense (a sub-object's
  // component, an item's collection); null here.
  virtual TPersistent* GetOwner();
  // "Owner.Path.ClassName" style path used in messages and by designers.
  virtual std::string GetNamePath();
  // Called by the filer: lets the object stream data that is not a published
  // property (Filer->DefineProperty). Overrides call the inherited one.
  virtual void DefineProperties(TFiler* Filer);

 protected:
  TPersistent() = default;
  // Copies this object into Dest; raises the assign error here.
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

// ---------------------------------------------------------------------------
// TComponent

enum TComponentStateItem : std::uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;
FYNDRA_ENUM_NAMES(TComponentStateItem, csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor,
                  csUpdating, csFixups, csFreeNotification, csInline, csDesignInstance)

enum TComponentStyleItem : std::uint8_t { csInheritable, csCheckPropAvail, csSubComponent, csTransient };
using TComponentStyle = TSet<TComponentStyleItem>;
FYNDRA_ENUM_NAMES(TComponentStyleItem, csInheritable, csCheckPropAvail, csSubComponent, csTransient)

enum TOperation : std::uint8_t { opInsert, opRemove };
FYNDRA_ENUM_NAMES(TOperation, opInsert, opRemove)

// Whether Ident is a valid identifier: a letter or underscore, then letters,
// digits and underscores; Unicode letters and digits count (see IsIdentifier
// in textservice.h). Names compare without regard to case, Unicode's too.
bool IsValidIdent(std::string_view Ident);

class TComponent : public TPersistent {
  FYNDRA_CLASS(TComponent, TPersistent)
 public:
  // The argument of the virtual constructor (creation by class).
  using TConstructorArg = TComponent*;

  ~TComponent() override;
  // Inserts the component into its owner (opInsert to the owner and its components).
  void AfterConstruction() override;
  // Sends free notifications, frees the owned components (last first) and
  // leaves the owner. Overrides do their own work first.
  void BeforeDestruction() override;
  // Includes csDestroying in this component and, recursively, its owned ones.
  void Destroying() override;

  const std::string& GetName() const { return Name_; }
  // An empty text or a valid identifier that no other component of the owner
  // has (ignoring case); raises EComponentError otherwise, leaving the name.
  virtual void SetName(const std::string& NewName);
  std::intptr_t GetTag() const { return Tag_; }
  void SetTag(std::intptr_t Value) { Tag_ = Value; }

  // The owner (null when none): the component that frees this one.
  TComponent* GetOwner() override { return Owner_; }
  TComponent* Owner() const { return Owner_; }
  int ComponentCount() const { return static_cast<int>(Components_.size()); }
  // REQUIRES: 0 <= Index < ComponentCount() (raises EListError otherwise).
  TComponent* GetComponent(int Index) const;
  TComponent* Components(int Index) const { return GetComponent(Index); }
  // Index in the owner's list; -1 without owner.
  int GetComponentIndex() const;
  void SetComponentIndex(int Value);
  // The owned component of that name (ignoring case), or null; null for "".
  TComponent* FindComponent(std::string_view Name) const;
  // Takes ownership of Component, which leaves its former owner. Raises
  // EComponentError, changing nothing, when Component is this component or
  // one of its owners, or when its name is taken here.
  void InsertComponent(TComponent* Component);
  // Gives up ownership of Component without freeing it.
  void RemoveComponent(TComponent* Component);
  // Frees every owned component, last first.
  void DestroyComponents();

  TComponentState ComponentState() const { return State_; }
  TComponentState GetComponentState() const { return State_; }
  TComponentStyle GetComponentStyle() const { return Style_; }
  // A sub-component is a component published as a property of its owner.
  void SetSubComponent(bool Value);

  // Asks to be told (Notification opRemove) when Component is freed; the link
  // is two-way: Component is told when this one is freed. Asking twice links once.
  void FreeNotification(TComponent* Component);
  void RemoveFreeNotification(TComponent* Component);
  // Components this one is linked with by free notification (for tests and tools).
  const std::vector<TComponent*>& FreeNotifies() const { return FreeNotifies_; }

  std::string GetNamePath() override { return Name_; }

  // The loading protocol, driven by the reader (and by code that builds a
  // component as a reader would): BeginLoading includes csLoading and
  // csReading; EndReading excludes csReading; EndLoading excludes csReading
  // and calls Loaded, which excludes csLoading.
  void BeginLoading();
  void EndReading();
  void EndLoading();
  // Writing state for the writer.
  void SetWriting(bool Value);
  void SetDesigning(bool Value, bool SetChildren = true);
  void SetUpdating(bool Value);
  void SetAncestor(bool Value);
  // Marks a frame placed on a form (csInline): streaming writes it as an
  // `inline` block holding only what differs from the frame's own form text.
  void SetInline(bool Value);

  // The components that streaming writes as children of this one: by default
  // every owned component that is not a sub-component, in owner order. The
  // writer nests, below a component other than the root, only those children
  // that the root owns (controls inside a panel).
  virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
  // Moves Child, one of the components GetChildren(..., this) lists, to
  // position Order among them (an Order past the end: last). Streaming calls
  // it for a child written with an order index "[n]" in this component's
  // block. Here it orders the owned components; a child this component does
  // not own stays where it is.
  virtual void SetChildOrder(TComponent* Child, int Order);
  // Streaming nests a component inside another one (a control inside the
  // panel that holds it) when it has such a parent; the reader hands the
  // enclosing component to SetParentComponent before reading the properties.
  // A plain component has no parent and ignores it.
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* /*Value*/) {}

 protected:
  explicit TComponent(TComponent* Owner) : PendingOwner_(Owner) {}

  // After streaming set the properties: excludes csLoading. Overrides call the
  // inherited one (first or last, as they need).
  virtual void Loaded();
  // Component was inserted into or is being removed from this component's
  // owner tree, or a component linked by FreeNotification is being freed.
  // The base class drops the free-notification link on opRemove and passes
  // the notification on to every owned component; overrides clear their
  // references and call the inherited one.
  virtual void Notification(TComponent* Component, TOperation Operation);
  // Raises EComponentError when Component (owned by this one) may not be
  // renamed from CurName to NewName.
  virtual void ValidateRename(TComponent* Component, const std::string& CurName, const std::string& NewName);
  // Raises when Component may not be inserted; nothing here.
  virtual void ValidateInsert(TComponent* Component);
  void IncludeState(TComponentStateItem Item) { State_.Include(Item); }
  void ExcludeState(TComponentStateItem Item) { State_.Exclude(Item); }

  friend class TReader;
  friend class TWriter;

 private:
  void ReleaseAll();
  void Insert(TComponent* Component);
  void Remove(TComponent* Component);
  void RemoveNotification(TComponent* Component);

  TComponent* PendingOwner_ = nullptr;
  TComponent* Owner_ = nullptr;
  std::string Name_;
  std::string NameKey_;  // Name_ folded (FoldIdentifier), which FindComponent compares
  std::intptr_t Tag_ = 0;
  std::vector<TComponent*> Components_;
  std::vector<TComponent*> FreeNotifies_;
  // Free notifications asked between components of one owner: the owner's
  // removal notices cover them, so they are not linked; when either leaves
  // the owner they become links (RemoveComponent).
  std::vector<TComponent*> SiblingLinks_;
  TComponentState State_;
  TComponentStyle Style_{csInheritable};
  bool Released_ = false;
};

// Creates a component of class Class (registered or not) owned by Owner;
// raises EComponentError when Class is not a creatable component class.
TComponent* CreateComponent(TClass Class, TComponent* Owner);

// ---------------------------------------------------------------------------
// Collections

using TCollectionItemClass = TClass;

enum TCollectionNotification : std::uint8_t { cnAdded, cnExtracting, cnDeleting };

class TCollectionItem : public TPersistent {
  FYNDRA_CLASS(TCollectionItem, TPersistent)
 public:
  // The argument of the virtual constructor (creation by class).
  using TConstructorArg = TCollection*;

  ~TCollectionItem() override;
  // Inserts the item into its collection: the item gets its ID, and the
  // collection's Update(null) runs unless a batch is open. Overrides call the
  // inherited one first; if they raise, the item is removed again.
  void AfterConstruction() override;
  // Leaves the collection (Update(null) unless a batch is open). Overrides do
  // their own work first.
  void BeforeDestruction() override;

  TCollection* GetCollection() const { return Collection_; }
  // Moves the item to another collection (null: out of any collection).
  void SetCollection(TCollection* Value);
  // Position in the collection; -1 outside one.
  int GetIndex() const;
  // Moves the item within its collection (Update(null) when it moved).
  virtual void SetIndex(int Value);
  // Unique within the collection, never reused, assigned on insertion.
  int GetID() const { return ID_; }
  // The item's caption in lists and messages: the class name here.
  virtual std::string GetDisplayName() const;
  virtual void SetDisplayName(const std::string& Value);
  std::string GetNamePath() override;
  TPersistent* GetOwner() override;

 protected:
  explicit TCollectionItem(TCollection* Collection) : PendingCollection_(Collection) {}
  // Tells the collection: Update(this), or Update(null) when AllItems; nothing
  // while a batch (BeginUpdate) is open.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* PendingCollection_ = nullptr;
  TCollection* Collection_ = nullptr;
  int ID_ = 0;
};

class TCollection : public TPersistent {
  FYNDRA_CLASS(TCollection, TPersistent)
 public:
  ~TCollection() override;
  // Frees the items (last first) inside a batch, so no Update runs.
  void BeforeDestruction() override;

  // Creates an item of the item class (it inserts itself) and returns it.
  TCollectionItem* Add();
  // Add, then moves the new item to Index.
  TCollectionItem* Insert(int Index);
  // Frees the item at Index (it leaves the collection while dying).
  void Delete(int Index);
  // Frees every item in one batch: one Update(null) at the end.
  void Clear();
  // Batches changes: Update runs once, with null, at the outermost EndUpdate.
  virtual void BeginUpdate();
  virtual void EndUpdate();
  int GetUpdateCount() const { return UpdateCount_; }

  int Count() const { return static_cast<int>(Items_.size()); }
  int GetCount() const { return Count(); }
  // REQUIRES: 0 <= Index < Count() (raises EListError otherwise).
  TCollectionItem* GetItem(int Index) const;
  // Assigns Value to the item at Index.
  void SetItem(int Index, TCollectionItem* Value);
  TCollectionItem* FindItemID(int ID) const;
  TCollectionItemClass GetItemClass() const { return ItemClass_; }

  // Copies the items of another collection (Add + item Assign, in one batch).
  void Assign(TPersistent* Source) override;
  std::string GetNamePath() override;
  // The name of the owner's published property that holds this collection.
  std::string GetPropName();
  // Update(null) unless a batch is open.
  void Changed();

 protected:
  explicit TCollection(TCollectionItemClass ItemClass) : ItemClass_(ItemClass) {}
  // Called with the changed item after a single change, and with null after
  // EndUpdate and after items are inserted, moved or removed.
  virtual void Update(TCollectionItem* Item);
  // Item was added, is being extracted (leaving) or is about to be deleted.
  virtual void Notify(TCollectionItem* Item, TCollectionNotification Action);

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);

  std::vector<TCollectionItem*> Items_;
  TCollectionItemClass ItemClass_ = nullptr;
  int NextID_ = 0;
  int UpdateCount_ = 0;
};

// A collection whose owner (for GetOwner and name paths) is given when created.
class TOwnedCollection : public TCollection {
  FYNDRA_CLASS(TOwnedCollection, TCollection)
 public:
  TPersistent* GetOwner() override { return Owner_; }

 protected:
  TOwnedCollection(TPersistent* Owner, TCollectionItemClass ItemClass) : TCollection(ItemClass), Owner_(Owner) {}

 private:
  TPersistent* Owner_ = nullptr;
};

// ---------------------------------------------------------------------------
// String lists

enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

// An abstract list of UTF-8 strings, each with an associated object (not owned).
// Streaming writes a TStrings property as its lines (a list of strings).
class TStrings : public TPersistent {
  FYNDRA_CLASS(TStrings, TPersistent)
 public:
  TStrings() = default;

  virtual int GetCount() const = 0;
  int Count() const { return GetCount(); }
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S);
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* Object);
  std::string operator[](int Index) const { return Get(Index); }
  std::string Strings(int Index) const { return Get(Index); }
  TObject* Objects(int Index) const { return GetObject(Index); }

  virtual int Add(const std::string& S);
  int AddObject(const std::string& S, TObject* Object);
  void Append(const std::string& S) { Add(S); }
  void AddStrings(const TStrings& Strings);
  virtual void Insert(int Index, const std::string& S) = 0;
  void InsertObject(int Index, const std::string& S, TObject* Object);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  void Move(int CurIndex, int NewIndex);
  virtual void Exchange(int Index1, int Index2);

  // First index of S (case-insensitive, like the list's comparison), or -1.
  virtual int IndexOf(const std::string& S) const;
  int IndexOfObject(const TObject* Object) const;
  // Index of the first "Name=Value" line whose name is Name (ignoring case).
  int IndexOfName(const std::string& Name) const;
  std::string GetName(int Index) const;
  std::string GetValue(const std::string& Name) const;
  // Replaces the value of Name, appends "Name=Value", or deletes the line for "".
  void SetValue(const std::string& Name, const std::string& Value);
  std::string GetValueFromIndex(int Index) const;

  // The lines joined by line breaks ("\n" after each line).
  std::string GetText() const;
  // Splits on "\r\n", "\n" or "\r".
  void SetText(const std::string& Value);
  // Lines separated by commas; a line containing a blank, comma, quote or
  // control character is quoted with doubled quotes inside.
  std::string GetCommaText() const;
  void SetCommaText(const std::string& Value);
  std::string GetDelimitedText() const;
  void SetDelimitedText(const std::string& Value);
  char GetDelimiter() const { return Delimiter_; }
  void SetDelimiter(char Value) { Delimiter_ = Value; }
  char GetQuoteChar() const { return QuoteChar_; }
  void SetQuoteChar(char Value) { QuoteChar_ = Value; }

  void BeginUpdate();
  void EndUpdate();
  int GetUpdateCount() const { return UpdateCount_; }
  bool Equals(const TStrings& Other) const;

  void Assign(TPersistent* Source) override;

 protected:
  // Compares two strings as the list does (locale-aware, ignoring case here).
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
  // Told when a batch opens (Updating true) or closes.
  virtual void SetUpdateState(bool Updating);

 private:
  std::string Quoted(const std::string& S, char Delimiter) const;
  int UpdateCount_ = 0;
  char Delimiter_ = ',';
  char QuoteChar_ = '"';
};

class TStringList : public TStrings {
  FYNDRA_CLASS(TStringList, TStrings)
 public:
  TStringList() = default;

  int GetCount() const override { return static_cast<int>(Items_.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* Object) override;
  // Appends, or inserts in order when Sorted (honouring Duplicates).
  int Add(const std::string& S) override;
  // REQUIRES: not Sorted (raises EStringListError).
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;
  void Exchange(int Index1, int Index2) override;
  int IndexOf(const std::string& S) const override;

  // Binary search of a sorted list: true and the index when found, else false
  // and the index where S would go.
  bool Find(const std::string& S, int& Index) const;
  void Sort();
  // Sorts with Compare(List, Index1, Index2).
  void CustomSort(const std::function<int(TStringList&, int, int)>& Compare);

  bool GetSorted() const { return Sorted_; }
  void SetSorted(bool Value);
  TDuplicates GetDuplicates() const { return Duplicates_; }
  void SetDuplicates(TDuplicates Value) { Duplicates_ = Value; }
  bool GetCaseSensitive() const { return CaseSensitive_; }
  void SetCaseSensitive(bool Value);

  TNotifyEvent GetOnChange() const { return OnChange_; }
  void SetOnChange(const TNotifyEvent& Value) { OnChange_ = Value; }
  TNotifyEvent GetOnChanging() const { return OnChanging_; }
  void SetOnChanging(const TNotifyEvent& Value) { OnChanging_ = Value; }

 protected:
  int CompareStrings(const std::string& S1, const std::string& S2) const override;
  void SetUpdateState(bool Updating) override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct TItem {
    std::string S;
    TObject* Object = nullptr;
  };
  void CheckIndex(int Index) const;
  void InsertItem(int Index, const std::string& S, TObject* Object);

  std::vector<TItem> Items_;
  bool Sorted_ = false;
  bool CaseSensitive_ = false;
  TDuplicates Duplicates_ = dupIgnore;
  TNotifyEvent OnChange_;
  TNotifyEvent OnChanging_;
};

// ---------------------------------------------------------------------------
// Pointer lists

// A list of untyped pointers (not owned). Index errors raise EListError.
class TList {
 public:
  TList() = default;
  virtual ~TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Count() const { return static_cast<int>(Items_.size()); }
  void* Get(int Index) const;
  void Put(int Index, void* Item);
  void* operator[](int Index) const { return Get(Index); }
  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Removes the first occurrence; its former index or -1.
  int Remove(void* Item);
  // Removes the first occurrence and returns it (null when absent).
  void* Extract(void* Item);
  int IndexOf(const void* Item) const;
  void Clear() { Items_.clear(); }
  void Move(int CurIndex, int NewIndex);
  void Exchange(int Index1, int Index2);
  void* First() const;
  void* Last() const;

 private:
  void CheckIndex(int Index) const;
  std::vector<void*> Items_;
};

// A last-in-first-out stack of untyped pointers (not owned).
class TStack {
 public:
  int Count() const { return static_cast<int>(Items_.size()); }
  bool AtLeast(int Count) const { return this->Count() >= Count; }
  void* Push(void* Item) {
    Items_.push_back(Item);
    return Item;
  }
  // The top item, removed; null on an empty stack.
  void* Pop();
  // The top item; null on an empty stack.
  void* Peek() const { return Items_.empty() ? nullptr : Items_.back(); }

 private:
  std::vector<void*> Items_;
};

// ---------------------------------------------------------------------------
// The filer: what TReader and TWriter (defined by streaming) offer to
// DefineProperties.

using TReaderProc = std::function<void(TReader& Reader)>;
using TWriterProc = std::function<void(TWriter& Writer)>;
using TStreamReadProc = std::function<void(const std::vector<std::uint8_t>& Data)>;
using TStreamWriteProc = std::function<void(std::vector<std::uint8_t>& Data)>;

class TFiler {
 public:
  virtual ~TFiler() = default;
  // Declares a non-published property Name: the reader calls ReadData when the
  // text has it; the writer calls WriteData when HasData is true.
  virtual void DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc& WriteData,
                              bool HasData) = 0;
  // The same for binary data, streamed as a hexadecimal block.
  virtual void DefineBinaryProperty(const std::string& Name, const TStreamReadProc& ReadData,
                                    const TStreamWriteProc& WriteData, bool HasData) = 0;
  // The component at the top of what is being read or written.
  TComponent* GetRoot() const { return Root_; }
  void SetRoot(TComponent* Value) { Root_ = Value; }
  // The object being compared against when writing only differences (or null).
  TPersistent* GetAncestor() const { return Ancestor_; }
  void SetAncestor(TPersistent* Value) { Ancestor_ = Value; }

 protected:
  TFiler() = default;

 private:
  TComponent* Root_ = nullptr;
  TPersistent* Ancestor_ = nullptr;
};

}  // namespace fyndra
