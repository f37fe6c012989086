// The expression calculator of a model: parses the boolean expression over
// item names (AND, OR, parentheses; names optionally quoted) into a tree of
// nodes, evaluates the tree for the current record, hands it to the SQL
// builder, and refuses to let an item go while the expression names it.
//
// Ownership: the model creates exactly one calculator (zvCreateCalculateModel)
// and frees it; the calculator owns its tree (a parent node owns its
// children), while leaves only point at the model's items. AND and OR have
// the same priority and group from the right: a AND b OR c is a AND (b OR c).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/core/zvbasemodel.h>

namespace fyndra {

enum TOperationType : std::uint8_t { otAnd, otOr, otNot };

// An operation over two subtrees, evaluated left first and short-circuit.
// The parser accepts chains of any length, and AND and OR group from the
// right, so a tree may be as deep as its expression is long: evaluating and
// freeing it walk with a work list of their own, never by recursion.
class TNode : public TBaseNode {
 public:
  // Takes ownership of Left and Right.
  TNode(TOperationType OperationType, std::unique_ptr<TBaseNode> Left, std::unique_ptr<TBaseNode> Right);
  ~TNode() override;
  bool IsAgree() override;
  TNode* AsNode() noexcept override { return this; }

  TOperationType GetOperationType() const { return OperationType_; }
  TBaseNode* GetLeft() const { return Left_.get(); }
  TBaseNode* GetRight() const { return Right_.get(); }

 private:
  friend class TzvCalculateModelImpl;  // prunes the tree when an item goes
  TOperationType OperationType_;
  std::unique_ptr<TBaseNode> Left_;
  std::unique_ptr<TBaseNode> Right_;
};

// One active item; agrees when the item's operator agrees with the record.
class TLeaf : public TBaseNode {
 public:
  explicit TLeaf(TzvCompareItem* Item) : Item_(Item) {}
  bool IsAgree() override { return Item_->IsAgree(); }
  TzvCompareItem* GetItem() const { return Item_; }

 private:
  TzvCompareItem* Item_;  // not owned
};

// Stands for an item that takes no part (inactive, or no items at all):
// agrees with every record, and drops out beside an operator.
class TEmptyLeaf : public TBaseNode {
 public:
  bool IsAgree() override { return true; }
};

// Token kinds of the expression language; the operator stack holds them.
enum TzvExpressionToken : std::uint8_t {
  ctEnd = 0,
  ctAnd = 1,
  ctOr = 2,
  ctNot = 3,  // reserved; never produced
  ctOpen = 4,
  ctClose = 5,
  ctName = 6,
};

// Splits an expression into tokens. Blanks, CR and LF separate words (a tab
// does not); parentheses are tokens of their own; a word starting with ", '
// or ` runs to the next same quote and is a name whatever it spells. A quote
// without its closing partner is an ordinary character.
class TzvExpressionLexer {
 public:
  // A NUL character ends the text, as it always has for these expressions.
  explicit TzvExpressionLexer(std::string Text)
      : Text_(std::move(Text)), End_(std::min(Text_.find('\0'), Text_.size())) {}
  // The next token's kind; Name receives a name's text (empty otherwise).
  TzvExpressionToken Next(std::string& Name);
  // Byte offset of the token Next returned last.
  std::size_t TokenOffset() const { return TokenStart_; }

 private:
  std::string Text_;
  std::size_t End_;
  std::size_t Pos_ = 0;
  std::size_t TokenStart_ = 0;  // byte offset
};

// Folds a tree bottom-up without recursion: Leaf(Node) gives the value of
// every node that is not an operation, Combine(Node, Left, Right) the value of
// an operation from its operands' values. Any depth the parser can build is
// walked in constant native stack.
template <class R, class LeafFn, class CombineFn>
R zvFoldTree(TBaseNode* Root, LeafFn&& Leaf, CombineFn&& Combine) {
  struct TFrame {
    TNode* Node;
    bool RightDone;
  };
  std::vector<TFrame> Frames;
  std::vector<R> Values;
  TBaseNode* Next = Root;
  for (;;) {
    // Down the left spine, remembering each operation passed.
    while (TNode* Op = Next->AsNode()) {
      Frames.push_back({Op, false});
      Next = Op->GetLeft();
    }
    Values.push_back(Leaf(Next));
    // Up while the operations above have both values.
    while (!Frames.empty() && Frames.back().RightDone) {
      R Right = std::move(Values.back());
      Values.pop_back();
      R Left = std::move(Values.back());
      Values.pop_back();
      Values.push_back(Combine(Frames.back().Node, std::move(Left), std::move(Right)));
      Frames.pop_back();
    }
    if (Frames.empty()) return std::move(Values.back());
    Frames.back().RightDone = true;
    Next = Frames.back().Node->GetRight();
  }
}

class TzvCalculateModelImpl : public TObjectInterface, public IzvCalculateModel {
  FYNDRA_CLASS(TzvCalculateModelImpl, TObjectInterface)
 public:
  ~TzvCalculateModelImpl() override;

  // IItemListener
  void ItemAdded(TzvCompareItem*) override {}
  // Throws SInvalidItemDelete while the active model's expression names Item
  // (any item when Item is null); otherwise drops Item from the compiled tree.
  void ItemDeleting(TzvCompareItem* Item) override;
  void ItemValueChanged(TzvCompareItem*) override {}
  void ItemDataTypeChanged(TzvCompareItem*) override {}

  // IzvCalculateModel
  void SetExpression(const std::string& Text) override;
  std::string GetExpression() override { return Expression_; }
  void PreCompile() override;
  bool Calculate() override { return Root_->IsAgree(); }
  TBaseNode* GetNode() override { return Root_.get(); }

  // The expression in force: the user's, or every item joined by "and" when
  // the user's holds no token (empty or blanks only).
  std::string GetInternalExpression();
  // Every item's name, quoted, joined by " and ". For display: the default
  // tree is built from the items themselves, so that any name an item can
  // hold (one with all three quote characters, say) takes part.
  std::string GetDefaultExpression();
  // Whether the expression in force names Item (ignoring case).
  bool IsExist(TzvCompareItem* Item);
  void ClearNodes() { Nodes_.clear(); }
  TzvBaseModel* GetModel() const { return Model_; }

  // The priority of an operator token on the stack; throws SInvalidOperator
  // for the end and name tokens.
  int Priority(TzvExpressionToken Token) const;

 protected:
  explicit TzvCalculateModelImpl(TzvBaseModel* Model);
  void* GetInterface(const TGUID& IID) override;

 private:
  // Whether the user's expression is in force (it holds a token).
  bool HasOwnExpression() const;
  // Parses Text into Nodes_ (normally one node).
  void SetNodes(const std::string& Text);
  // The default conjunction straight from the items into Nodes_.
  void SetDefaultNodes();
  std::unique_ptr<TBaseNode> ResolveName(const std::string& Name);
  std::unique_ptr<TBaseNode> LeafOf(TzvCompareItem* Item);
  void ApplyOperator(TzvExpressionToken Token);
  // Combines the two operands on top of Nodes_ by Op.
  void Combine(TOperationType Op);
  [[noreturn]] void RaiseInvalidOperator() const;
  // Removes the leaves of Item from the tree in Root, as if Item had been
  // inactive at compile time: an operation beside it yields the other side.
  static void Prune(std::unique_ptr<TBaseNode>& Root, TzvCompareItem* Item);

  TzvBaseModel* Model_;  // not owned: the model owns the calculator
  std::vector<std::unique_ptr<TBaseNode>> Nodes_;  // operand stack while parsing
  std::string Expression_;
  std::vector<TzvExpressionToken> Stack_;  // operator stack while parsing
  std::unique_ptr<TBaseNode> Root_;  // never null
};

}  // namespace fyndra
