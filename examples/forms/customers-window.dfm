object CustomersForm: TForm
  Caption = 'Customers - find as you type'
  ClientWidth = 820
  ClientHeight = 520
  Position = poScreenCenter
  object Database: TDatabase
    DatabaseName = '../../build/run/sample.db'
    Params.Strings = (
      'READONLY=TRUE')
  end
  object Customers: TTable
    DatabaseName = '../../build/run/sample.db'
    TableName = 'customers'
    IndexName = 'customers_name'
    Active = True
  end
  object CustomersSource: TDataSource
    DataSet = Customers
  end
  object Find: TzvBdeFindModel
    DataSource = CustomersSource
  end
  object Criteria: TPanel
    Align = alTop
    Height = 64
    BevelOuter = bvNone
    object NameLabel: TLabel
      Left = 12
      Top = 8
      Width = 200
      Height = 18
      Caption = 'Name starts with'
      FocusControl = NameEdit
    end
    object NameEdit: TzvModelEdit
      Left = 12
      Top = 28
      Width = 240
      Height = 26
      TabOrder = 0
      ModelSource.BaseModel = Find
      ModelSource.ItemName = 'name'
    end
    object CityLabel: TLabel
      Left = 268
      Top = 8
      Width = 180
      Height = 18
      Caption = 'City starts with'
      FocusControl = CityEdit
    end
    object CityEdit: TzvModelEdit
      Left = 268
      Top = 28
      Width = 180
      Height = 26
      TabOrder = 1
      ModelSource.BaseModel = Find
      ModelSource.ItemName = 'city'
    end
    object CodeLabel: TLabel
      Left = 464
      Top = 8
      Width = 140
      Height = 18
      Caption = 'Code'
      FocusControl = CodeEdit
    end
    object CodeEdit: TzvModelMaskEdit
      Left = 464
      Top = 28
      Width = 140
      Height = 26
      TabOrder = 2
      EditMask = '>L0000000;1;_'
      ModelSource.BaseModel = Find
      ModelSource.ItemName = 'code'
    end
  end
  object Status: TPanel
    Align = alBottom
    Height = 24
    Alignment = taLeftJustify
    BevelOuter = bvLowered
  end
  object Grid: TDBGrid
    Align = alClient
    TabOrder = 1
    DataSource = CustomersSource
    Columns = <
      item
        FieldName = 'code'
        Title.Caption = 'Code'
        Width = 90
      end
      item
        FieldName = 'name'
        Title.Caption = 'Name'
        Width = 220
      end
      item
        FieldName = 'city'
        Title.Caption = 'City'
        Width = 140
      end
      item
        FieldName = 'birth'
        Title.Caption = 'Born'
        Width = 100
      end
      item
        Alignment = taRightJustify
        FieldName = 'balance'
        Title.Caption = 'Balance'
        Width = 110
      end>
  end
end
