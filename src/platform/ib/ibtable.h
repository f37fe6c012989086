// TIBTable: the rows of one table of a Firebird database, in the order of
// an index (IndexName) or of a field list (IndexFieldNames), else in the
// engine's storage order.
//
// IndexDefs are read from the system tables: key fields in key order, unique
// and primary indexes, descending indexes, case-insensitive collations, and
// expression indexes (ixExpression, the expression in Expression). Inactive
// indexes are left out. The table reads like every dataset of the family
// (lazily, read-only); it offers no key search or ranges of its own, so
// searches use Locate.
//
// Names: TableName, IndexName and the fields of IndexFieldNames are matched
// as the engine stores them first and then in upper case, so "customers"
// finds the table created as CUSTOMERS and "Name" the column NAME.
//
// Ownership: TIBTable owns its IndexDefs.
#pragma once

#include <string>
#include <vector>

#include <fyndra/platform/ib/ibcustomdataset.h>

namespace fyndra {

class TIBTable : public TIBCustomDataSet {
  FYNDRA_CLASS(TIBTable, TIBCustomDataSet)

 public:
  const std::string& GetTableName() const { return TableName_; }
  void SetTableName(const std::string& Value);  // REQUIRES: closed

  TIndexDefs* GetIndexDefs() const { return IndexDefs_.get(); }
  void SetIndexDefs(TIndexDefs* Value) { IndexDefs_->Assign(Value); }
  // Choosing an index (by name or by fields; setting one clears the other)
  // reopens an open table in the new order on the record it was on (found
  // again by its primary key when the table has one, else the first record).
  const std::string& GetIndexName() const { return IndexName_; }
  void SetIndexName(const std::string& Value);
  const std::string& GetIndexFieldNames() const { return IndexFieldNames_; }
  void SetIndexFieldNames(const std::string& Value);

  // Whether the engine orders the text of index field FieldName by its bytes
  // (a charset's default binary collation: UTF8, UNICODE_FSS, ASCII, NONE,
  // OCTETS), which is code point order for UTF-8. Known for the key fields of
  // IndexDefs once they are read; false for every other field.
  bool OrdersTextByBytes(const std::string& FieldName) const;

  // The key of the current order: its index definition (for an index name or
  // a field list), or null in storage order.
  TOwned<TIndexDef> PSGetDefaultOrder() const override;

  void AfterConstruction() override;

 protected:
  explicit TIBTable(TComponent* Owner);
  std::string SelectText() override;
  void BindParams(TIBClientStatement& Statement) const override;

 private:
  void ReadIndexDefs(TIndexDefs& Defs);
  // The table's name as the engine stores it; raises when there is no such table.
  std::string ResolveTableName(TIBClientTransaction& Transaction) const;
  // A column's name as the engine stores it; raises for an unknown column.
  std::string ResolveColumn(TIBClientTransaction& Transaction, const std::string& Table,
                            const std::string& Name) const;
  void ChangeOrder(const std::string& IndexName, const std::string& FieldNames);

  std::string TableName_;
  std::string IndexName_;
  std::string IndexFieldNames_;
  TOwned<TIndexDefs> IndexDefs_;
  std::vector<std::string> ByteOrdered_;  // key fields whose text sorts by bytes
};

}  // namespace fyndra
