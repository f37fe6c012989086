#include <fyndra/core/zvmodelcalculate.h>

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
  // Left before right.
  Left_.reset();
  Right_.reset();
}

bool TNode::IsAgree() {
  switch (OperationType_) {
    case otAnd: return Left_->IsAgree() && Right_->IsAgree();
    case otOr: return Left_->IsAgree() || Right_->IsAgree();
    case otNot: break;
  }
  return false;  // otNot is never built
}

// ---------------------------------------------------------------------------
// Lexer

namespace {

bool IsSeparator(char C) { return C == ' ' || C == '\r' || C == '\n'; }
bool IsQuote(char C) { return C == '"' || C == '\'' || C == '`'; }

int ClassifyWord(const std::string& Word) {
  if (Word.empty()) return ctEnd;
  if (AnsiCompareText(Word, "AND") == 0) return ctAnd;
  if (AnsiCompareText(Word, "OR") == 0) return ctOr;
  if (Word == "(") return ctOpen;
  if (Word == ")") return ctClose;
  return ctName;
}

}  // namespace

int TzvExpressionLexer::Next(std::string& Name) {
  Name.clear();
  constexpr std::size_t kNone = std::string::npos;
  // A NUL character ends the text, as it always has for these expressions.
  const std::size_t End = std::min(Text_.find('\0'), Text_.size());
  std::size_t Start = kNone;
  while (true) {
    if (Pos_ >= End) {
      if (Start != kNone) break;
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
      ++Pos_;
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
      // A quoted name is a name whatever it spells. Characters glued before
      // the opening quote make the token unquoted, and its name empty.
      std::string Token = Text_.substr(Start, Pos_ - Start);
      Name = AnsiExtractQuotedStr(Token, C);
      return ctName;
    }
    if (Start == kNone) Start = Pos_;
    ++Pos_;
  }
  const std::string Word = Text_.substr(Start, Pos_ - Start);
  const int Code = ClassifyWord(Word);
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

std::string TzvCalculateModelImpl::GetInternalExpression() {
  return Expression_.empty() ? GetDefaultExpression() : Expression_;
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
  TzvExpressionLexer Lexer(GetInternalExpression());
  std::string Name;
  for (int Code = Lexer.Next(Name); Code != ctEnd; Code = Lexer.Next(Name)) {
    if (Code == ctName && AnsiCompareText(Name, ItemName) == 0) return true;
  }
  return false;
}

void TzvCalculateModelImpl::ItemDeleting(TzvCompareItem* Item) {
  if (Model_->GetActive() && !Model_->GetState().Contains(bsSetItems) && !Expression_.empty() &&
      (!Item || IsExist(Item))) {
    zvBaseModelErrorFmt(LoadResString(SInvalidItemDelete), {Variant(Item ? Item->GetName() : std::string()),
                                                            Variant(Model_->GetName())},
                        Model_);
  }
  // The item goes (or is renamed): no leaf may keep pointing at it, since
  // the tree can be evaluated again before the next recompile.
  if (Item) Prune(Root_, Item);
}

void TzvCalculateModelImpl::Prune(std::unique_ptr<TBaseNode>& Slot, TzvCompareItem* Item) {
  if (auto* Leaf = dynamic_cast<TLeaf*>(Slot.get())) {
    if (Leaf->GetItem() == Item) Slot = std::make_unique<TEmptyLeaf>();
    return;
  }
  auto* Node = dynamic_cast<TNode*>(Slot.get());
  if (!Node) return;
  Prune(Node->Left_, Item);
  Prune(Node->Right_, Item);
  if (dynamic_cast<TEmptyLeaf*>(Node->Right_.get())) {
    std::unique_ptr<TBaseNode> Keep = std::move(Node->Left_);
    Slot = std::move(Keep);
  } else if (dynamic_cast<TEmptyLeaf*>(Node->Left_.get())) {
    std::unique_ptr<TBaseNode> Keep = std::move(Node->Right_);
    Slot = std::move(Keep);
  }
}

void TzvCalculateModelImpl::PreCompile() {
  if (!Model_->GetActive()) {
    Root_ = std::make_unique<TEmptyLeaf>();
    return;
  }
  try {
    SetNodes(GetInternalExpression());
    if (Nodes_.size() > 1) zvBaseModelError(LoadResString(SInvalidExpression), Model_);
    std::unique_ptr<TBaseNode> NewRoot = Nodes_.empty() ? std::make_unique<TEmptyLeaf>() : std::move(Nodes_.front());
    Nodes_.clear();
    Root_ = std::move(NewRoot);
  } catch (...) {
    ClearNodes();
    throw;
  }
}

int TzvCalculateModelImpl::Priority(int Token) const {
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
    for (int Token = Lexer.Next(Name); Token != ctEnd; Token = Lexer.Next(Name)) {
      if (Token == ctName) {
        Nodes_.push_back(ResolveName(Name));
      } else if (Stack_.empty() || Token == ctOpen) {
        Stack_.push_back(Token);
      } else if (Token == ctClose) {
        while (!Stack_.empty()) {
          const int Top = Stack_.back();
          Stack_.pop_back();
          if (Top == ctOpen) break;
          ApplyOperator(Top);
        }
      } else {
        while (!Stack_.empty() && Priority(Token) < Priority(Stack_.back())) {
          const int Top = Stack_.back();
          Stack_.pop_back();
          ApplyOperator(Top);
        }
        Stack_.push_back(Token);
      }
    }
    while (!Stack_.empty()) {
      const int Top = Stack_.back();
      Stack_.pop_back();
      ApplyOperator(Top);
    }
  } catch (...) {
    Stack_.clear();
    throw;
  }
}

std::unique_ptr<TBaseNode> TzvCalculateModelImpl::ResolveName(const std::string& Name) {
  TzvCompareItem* Item = Model_->GetCompareItems()->FindItem(Name);
  if (!Item && !Model_->ComponentState().Contains(csDesigning)) {
    zvBaseModelErrorFmt(LoadResString(SInvalidItemName), {Variant(Name), Variant(Model_->GetName())}, Model_);
  }
  if (Item && Item->GetActive()) return std::make_unique<TLeaf>(Item);
  return std::make_unique<TEmptyLeaf>();
}

void TzvCalculateModelImpl::ApplyOperator(int Token) {
  TOperationType Op;
  if (Token == ctAnd)
    Op = otAnd;
  else if (Token == ctOr)
    Op = otOr;
  else
    RaiseInvalidOperator();  // a parenthesis left on the stack
  if (Nodes_.size() < 2) RaiseInvalidOperator();
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
