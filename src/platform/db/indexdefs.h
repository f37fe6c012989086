// Index definitions of a dataset: which fields an index orders by, which of
// them compare text without regard to case, which sort descending, and the
// index's options. A TIndexDefs collection is owned by its dataset and owns its
// TIndexDef items; a TIndexDef made without a collection (Create<TIndexDef>(nullptr))
// is free-standing and freed by whoever made it.
//
// Field lists (Fields, CaseInsFields, DescFields) are names separated by
// semicolons, compared without regard to case. Name, Fields, CaseInsFields,
// DescFields, Expression and Options are published, so index definitions
// stream with their dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/typinfo.h>

namespace fyndra {

enum TIndexOption : std::uint8_t {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained
};
FYNDRA_ENUM_NAMES(TIndexOption, ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression,
                  ixNonMaintained)
using TIndexOptions = TSet<TIndexOption>;

class TIndexDefs;

class TIndexDef : public TCollectionItem {
 public:
  const std::string& GetName() const { return Name_; }
  void SetName(const std::string& Value);
  // Key fields in key order.
  const std::string& GetFields() const { return Fields_; }
  void SetFields(const std::string& Value);
  // The key fields that compare text without regard to case; when empty,
  // ixCaseInsensitive in Options speaks for all of them.
  const std::string& GetCaseInsFields() const { return CaseInsFields_; }
  void SetCaseInsFields(const std::string& Value);
  // The key fields sorted descending; when empty, ixDescending speaks for all.
  const std::string& GetDescFields() const { return DescFields_; }
  void SetDescFields(const std::string& Value);
  // The index expression when Options contains ixExpression.
  const std::string& GetExpression() const { return Expression_; }
  void SetExpression(const std::string& Value);
  TIndexOptions GetOptions() const { return Options_; }
  void SetOptions(TIndexOptions Value);

  // Whether key field Name is compared without regard to case / sorts descending,
  // by the field lists or, where the list is empty, by the options.
  bool IsCaseInsensitiveField(const std::string& FieldName) const;
  bool IsDescendingField(const std::string& FieldName) const;

  void Assign(TPersistent* Source) override;
  std::string GetDisplayName() const override;

 protected:
  explicit TIndexDef(TCollection* Collection);
  FYNDRA_CLASS(TIndexDef, TCollectionItem)
  friend class TIndexDefs;

 private:
  std::string Name_, Fields_, CaseInsFields_, DescFields_, Expression_;
  TIndexOptions Options_;
};

class TIndexDefs : public TOwnedCollection {
 public:
  TIndexDef* GetItem(int Index) const;
  TIndexDef* AddIndexDef();
  void Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  // -1 when no definition has that name (compared without regard to case).
  int IndexOf(const std::string& Name) const;
  // Raises EDatabaseError when no definition has that name.
  TIndexDef* Find(const std::string& Name) const;
  // The definition whose key starts with Fields (an exact key first), preferring a
  // case-sensitive key; raises EDatabaseError when none fits.
  TIndexDef* FindIndexForFields(const std::string& Fields) const;
  // As FindIndexForFields, but only keys whose case-insensitivity is
  // CaseInsensitive, and null when none fits.
  TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const;

  // Asks the owning dataset to read its index definitions again (through the
  // updater it installed); without an updater the definitions stay as they are.
  void Update();
  // Set by the owning dataset: fills this collection from the dataset's storage.
  void SetUpdater(std::function<void(TIndexDefs&)> Updater) { Updater_ = std::move(Updater); }
  // True once the definitions reflect the dataset; Update skips the reload while true.
  bool GetUpdated() const { return Updated_; }
  void SetUpdated(bool Value) { Updated_ = Value; }

 protected:
  explicit TIndexDefs(TPersistent* Owner);
  FYNDRA_CLASS(TIndexDefs, TOwnedCollection)
  using TOwnedCollection::Update;

 private:
  std::function<void(TIndexDefs&)> Updater_;
  bool Updated_ = false;
};

}  // namespace fyndra
