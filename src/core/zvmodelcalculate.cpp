#include <fyndra/core/zvmodelcalculate.h>

#include <string_view>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvCalculateModelImpl)

TObjectInterface* zvCreateCalculateModel(TzvBaseModel* Model) { return Create<TzvCalculateModelImpl>(Model); }

// ---------------------------------------------------------------------------
// Nodes

TNode::TNode(TOperationType OperationType, std::unique_ptr<TBaseNode> Left, std::unique_ptr<TBaseNode> Right)
    : OperationType_(OperationType), Left_(std::move(Left)), Right_(std::move(Right)) {}

TNode::~TNode() {
  // Subtrees are taken apart through a work list: a node is freed only once
  // its children have been moved out, so no destructor calls the next.
  std::vector<std::unique_ptr<TBaseNode>> Pending;
  auto Detach = [&Pending](std::unique_ptr<TBaseNode>& Child) {
    if (Child && Child->AsNode())
      Pending.push_back(std::move(Child));
    else
      Child.reset();
  };
  // Left before right.
  Detach(Left_);
  Detach(Right_);
  while (!Pending.empty()) {
    std::unique_ptr<TBaseNode> Node = std::move(Pending.back());
    Pending.pop_back();
    TNode* Op = Node->AsNode();
    Detach(Op->Left_);
    Detach(Op->Right_);
  }
}

namespace {

// The operations whose left operand is being evaluated. The first entries
// live in place, so that evaluating the usual small tree, once per record,
// allocates nothing.
class TPendingOperations {
 public:
  bool Empty() const { return Size_ == 0; }
  void Push(TNode* Node) {
    if (Size_ < kInline)
      Inline_[Size_] = Node;
    else
      More_.push_back(Node);
    ++Size_;
  }
  TNode* Pop() {
    --Size_;
    if (Size_ < kInline) return Inline_[Size_];
    TNode* Node = More_.back();
    More_.pop_back();
    return Node;
  }

 private:
  static constexpr std::size_t kInline = 16;
  TNode* Inline_[kInline];
  std::vector<TNode*> More_;
  std::size_t Size_ = 0;
};

}  // namespace

bool TNode::IsAgree() {
  TPendingOperations Pending;
  TBaseNode* Next = this;
  for (;;) {
    bool Value;
    for (;;) {
      TNode* Op = Next->AsNode();
      if (!Op) {
        Value = Next->IsAgree();
        break;
      }
      if (Op->OperationType_ == otNot) {  // never built
        Value = false;
        break;
      }
      Pending.Push(Op);
      Next = Op->Left_.get();
    }
    // Short-circuit: an operation whose left value decides it passes that
    // value up; otherwise its right operand's value is its own.
    for (;;) {
      if (Pending.Empty()) return Value;
      TNode* Op = Pending.Pop();
      const bool Decided = Op->OperationType_ == otAnd ? !Value : Value;
      if (!Decided) {
        Next = Op->Right_.get();
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Lexer

namespace {

bool IsSeparator(char C) { return C == ' ' || C == '\r' || C == '\n'; }
bool IsQuote(char C) { return C == '"' || C == '\'' || C == '`'; }

TzvExpressionToken ClassifyWord(const std::string& Word) {
  if (Word.empty()) return ctEnd;
  if (AnsiCompareText(Word, "AND") == 0) return ctAnd;
  if (AnsiCompareText(Word, "OR") == 0) return ctOr;
  if (Word == "(") return ctOpen;
  if (Word == ")") return ctClose;
  return ctName;
}

}  // namespace

TzvExpressionToken TzvExpressionLexer::Next(std::string& Name) {
  Name.clear();
  constexpr std::size_t kNone = std::string::npos;
  const std::size_t End = End_;
  std::size_t Start = kNone;
  while (true) {
    if (Pos_ >= End) {
      if (Start != kNone) break;
      TokenStart_ = Pos_;
      return ctEnd;
    }
    const char C = Text_[Pos_];
    if (IsSeparator(C)) {
      if (Start != kNone) break;  // the separator stays for the next call
      while (Pos_ < End && IsSeparator(Text_[Pos_])) ++Pos_;
      continue;
    }
    if (C == '(' || C == ')') {
      if (Start != kNone) break;
      TokenStart_ = Pos_++;
      return C == '(' ? ctOpen : ctClose;
    }
    if (IsQuote(C)) {
      if (Start == kNone) Start = Pos_;
      const std::size_t Close = Text_.find(C, Pos_ + 1);
      if (Close == kNone || Close >= End) {
        ++Pos_;  // no partner: an ordinary character of the word
        continue;
      }
      Pos_ = Close + 1;
      TokenStart_ = Start;
      // A quoted name is a name whatever it spells. Characters glued before
      // the opening quote make the token unquoted, and its name empty.
      std::string Token = Text_.substr(Start, Pos_ - Start);
      Name = AnsiExtractQuotedStr(Token, C);
      return ctName;
    }
    if (Start == kNone) Start = Pos_;
    ++Pos_;
  }
  TokenStart_ = Start;
  const std::string Word = Text_.substr(Start, Pos_ - Start);
  const TzvExpressionToken Code = ClassifyWord(Word);
  if (Code == ctName) Name = Word;
  return Code;
}

// ---------------------------------------------------------------------------
// Calculator

TzvCalculateModelImpl::TzvCalculateModelImpl(TzvBaseModel* Model)
    : Model_(Model), Root_(std::make_unique<TEmptyLeaf>()) {}

TzvCalculateModelImpl::~TzvCalculateModelImpl() {
  Root_.reset();
  Nodes_.clear();
}

void* TzvCalculateModelImpl::GetInterface(const TGUID& IID) {
  if (IID == IzvCalculateModel::IID) return static_cast<IzvCalculateModel*>(this);
  if (IID == IItemListener::IID) return static_cast<IItemListener*>(this);
  return inherited::GetInterface(IID);
}

void TzvCalculateModelImpl::SetExpression(const std::string& Text) {
  if (Text == Expression_) return;
  std::string Old = std::move(Expression_);
  Expression_ = Text;
  try {
    PreCompile();
  } catch (...) {
    Expression_ = std::move(Old);
    throw;
  }
}

bool TzvCalculateModelImpl::HasOwnExpression() const {
  // The lexer's view: anything but separators before the end (or a NUL) is
  // a token.
  for (char C : Expression_) {
    if (C == '\0') return false;
    if (!IsSeparator(C)) return true;
  }
  return false;
}

std::string TzvCalculateModelImpl::GetInternalExpression() {
  return HasOwnExpression() ? Expression_ : GetDefaultExpression();
}

std::string TzvCalculateModelImpl::GetDefaultExpression() {
  std::string S;
  TzvCompareItems* Items = Model_->GetCompareItems();
  for (int I = 0; I < Items->Count(); ++I) {
    const std::string Name = Items->GetItem(I)->GetName();
    // Double quotes as a rule; a name that holds one is enclosed in another
    // quote character, so that the default expression always parses back to
    // the same items.
    char Quote = '"';
    if (Name.find('"') != std::string::npos) Quote = Name.find('\'') == std::string::npos ? '\'' : '`';
    if (I > 0) S += " and ";
    S += Quote;
    S += Name;
    S += Quote;
  }
  return S;
}

bool TzvCalculateModelImpl::IsExist(TzvCompareItem* Item) {
  if (!Item) return false;
  const std::string ItemName = Item->GetName();
  if (!HasOwnExpression()) {
    // The default expression names every item of the collection.
    TzvCompareItems* Items = Model_->GetCompareItems();
    for (int I = 0; I < Items->Count(); ++I)
      if (AnsiCompareText(Items->GetItem(I)->GetName(), ItemName) == 0) return true;
    return false;
  }
  TzvExpressionLexer Lexer(Expression_);
  std::string Name;
  for (TzvExpressionToken Code = Lexer.Next(Name); Code != ctEnd; Code = Lexer.Next(Name)) {
    if (Code == ctName && AnsiCompareText(Name, ItemName) == 0) return true;
  }
  return false;
}

void TzvCalculateModelImpl::ItemDeleting(TzvCompareItem* Item) {
  if (Model_->GetActive() && !Model_->GetState().Contains(bsSetItems) && HasOwnExpression() &&
      (!Item || IsExist(Item))) {
    zvBaseModelErrorFmt(LoadResString(SInvalidItemDelete), {Variant(Item ? Item->GetName() : std::string()),
                                                            Variant(Model_->GetName())},
                        Model_);
  }
  // An item that goes must leave the tree at once, since the tree can be
  // evaluated again before the next recompile. A renamed item stays what it
  // was: its leaf keeps testing it until the next compile.
  if (Item && !Item->IsRenaming()) Prune(Root_, Item);
}

namespace {

bool IsEmptyLeaf(const std::unique_ptr<TBaseNode>& Node) { return dynamic_cast<TEmptyLeaf*>(Node.get()) != nullptr; }

}  // namespace

void TzvCalculateModelImpl::Prune(std::unique_ptr<TBaseNode>& Root, TzvCompareItem* Item) {
  // Bottom-up over the slots that hold the nodes: an operation is settled
  // after both its operands.
  struct TFrame {
    std::unique_ptr<TBaseNode>* Slot;
    bool OperandsDone;
  };
  std::vector<TFrame> Work{{&Root, false}};
  while (!Work.empty()) {
    std::unique_ptr<TBaseNode>& Slot = *Work.back().Slot;
    TNode* Op = Slot->AsNode();
    if (!Op) {
      auto* Leaf = dynamic_cast<TLeaf*>(Slot.get());
      if (Leaf && Leaf->GetItem() == Item) Slot = std::make_unique<TEmptyLeaf>();
      Work.pop_back();
      continue;
    }
    if (!Work.back().OperandsDone) {
      Work.back().OperandsDone = true;
      Work.push_back({&Op->Right_, false});
      Work.push_back({&Op->Left_, false});  // left first
      continue;
    }
    Work.pop_back();
    if (IsEmptyLeaf(Op->Right_)) {
      std::unique_ptr<TBaseNode> Keep = std::move(Op->Left_);
      Slot = std::move(Keep);
    } else if (IsEmptyLeaf(Op->Left_)) {
      std::unique_ptr<TBaseNode> Keep = std::move(Op->Right_);
      Slot = std::move(Keep);
    }
  }
}

void TzvCalculateModelImpl::PreCompile() {
  if (!Model_->GetActive()) {
    Root_ = std::make_unique<TEmptyLeaf>();
    return;
  }
  try {
    if (HasOwnExpression())
      SetNodes(Expression_);
    else
      SetDefaultNodes();
    if (Nodes_.size() > 1) zvBaseModelError(LoadResString(SInvalidExpression), Model_);
    std::unique_ptr<TBaseNode> NewRoot = Nodes_.empty() ? std::make_unique<TEmptyLeaf>() : std::move(Nodes_.front());
    Nodes_.clear();
    Root_ = std::move(NewRoot);
  } catch (...) {
    ClearNodes();
    throw;
  }
}

int TzvCalculateModelImpl::Priority(TzvExpressionToken Token) const {
  switch (Token) {
    case ctAnd:
    case ctOr: return 2;
    case ctNot: return 3;
    case ctOpen: return 0;
    case ctClose: return 1;
    default: RaiseInvalidOperator();
  }
}

void TzvCalculateModelImpl::RaiseInvalidOperator() const {
  zvBaseModelError(LoadResString(SInvalidOperator), Model_);
}

void TzvCalculateModelImpl::SetNodes(const std::string& Text) {
  ClearNodes();
  Stack_.clear();
  try {
    TzvExpressionLexer Lexer(Text);
    std::string Name;
    TzvExpressionToken Previous = ctEnd;
    std::size_t OpenOffset = 0;
    for (TzvExpressionToken Token = Lexer.Next(Name); Token != ctEnd; Previous = Token, Token = Lexer.Next(Name)) {
      if (Token == ctOpen) OpenOffset = Lexer.TokenOffset();
      // A pair of parentheses around nothing would stand for no operand at
      // all and silently drop every criterion. The position counts characters.
      if (Token == ctClose && Previous == ctOpen) {
        const std::size_t Position = CharLength(std::string_view(Text).substr(0, OpenOffset)) + 1;
        zvBaseModelErrorFmt(LoadResString(SEmptyParentheses), {Variant(static_cast<std::int64_t>(Position))}, Model_);
      }
      if (Token == ctName) {
        Nodes_.push_back(ResolveName(Name));
      } else if (Stack_.empty() || Token == ctOpen) {
        Stack_.push_back(Token);
      } else if (Token == ctClose) {
        while (!Stack_.empty()) {
          const TzvExpressionToken Top = Stack_.back();
          Stack_.pop_back();
          if (Top == ctOpen) break;
          ApplyOperator(Top);
        }
      } else {
        while (!Stack_.empty() && Priority(Token) < Priority(Stack_.back())) {
          const TzvExpressionToken Top = Stack_.back();
          Stack_.pop_back();
          ApplyOperator(Top);
        }
        Stack_.push_back(Token);
      }
    }
    while (!Stack_.empty()) {
      const TzvExpressionToken Top = Stack_.back();
      Stack_.pop_back();
      ApplyOperator(Top);
    }
  } catch (...) {
    Stack_.clear();
    throw;
  }
}

void TzvCalculateModelImpl::SetDefaultNodes() {
  // The same tree as the text "a and b and c" would give, built without
  // going through names: every item takes part whatever its name holds.
  ClearNodes();
  TzvCompareItems* Items = Model_->GetCompareItems();
  for (int I = 0; I < Items->Count(); ++I) Nodes_.push_back(LeafOf(Items->GetItem(I)));
  while (Nodes_.size() > 1) Combine(otAnd);
}

std::unique_ptr<TBaseNode> TzvCalculateModelImpl::ResolveName(const std::string& Name) {
  TzvCompareItem* Item = Model_->GetCompareItems()->FindItem(Name);
  if (!Item && !Model_->ComponentState().Contains(csDesigning)) {
    zvBaseModelErrorFmt(LoadResString(SInvalidItemName), {Variant(Name), Variant(Model_->GetName())}, Model_);
  }
  return LeafOf(Item);
}

std::unique_ptr<TBaseNode> TzvCalculateModelImpl::LeafOf(TzvCompareItem* Item) {
  if (Item && Item->GetActive()) return std::make_unique<TLeaf>(Item);
  return std::make_unique<TEmptyLeaf>();
}

void TzvCalculateModelImpl::ApplyOperator(TzvExpressionToken Token) {
  TOperationType Op;
  if (Token == ctAnd)
    Op = otAnd;
  else if (Token == ctOr)
    Op = otOr;
  else
    RaiseInvalidOperator();  // a parenthesis left on the stack
  if (Nodes_.size() < 2) RaiseInvalidOperator();
  Combine(Op);
}

void TzvCalculateModelImpl::Combine(TOperationType Op) {
  std::unique_ptr<TBaseNode> Right = std::move(Nodes_.back());
  Nodes_.pop_back();
  std::unique_ptr<TBaseNode> Left = std::move(Nodes_.back());
  Nodes_.pop_back();
  // An empty leaf drops out: the operator yields the other operand.
  if (dynamic_cast<TEmptyLeaf*>(Right.get()))
    Nodes_.push_back(std::move(Left));
  else if (dynamic_cast<TEmptyLeaf*>(Left.get()))
    Nodes_.push_back(std::move(Right));
  else
    Nodes_.push_back(std::make_unique<TNode>(Op, std::move(Left), std::move(Right)));
}

}  // namespace fyndra
