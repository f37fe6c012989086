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
  object Countries: TTable
    DatabaseName = '../../build/run/sample.db'
    TableName = 'countries'
    Active = True
  end
  object CountriesSource: TDataSource
    DataSet = Countries
  end
  object Find: TzvBdeFindModel
    DataSource = CustomersSource
  end
  object Criteria: TPanel
    Align = alTop
    Height = 124
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
      FocusControl = CityCombo
    end
    object CityCombo: TzvDBModelComboBox
      Left = 268
      Top = 28
      Width = 180
      Height = 26
      TabOrder = 1
      DropDownCount = 12
      Items.Strings = (
        'Berlin'
        'Kraków'
        'Málaga'
        'München'
        'Oslo'
        'Paris'
        'Reykjavík'
        'São Paulo'
        'Wien'
        'Zürich')
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
    object ActiveCheck: TzvDBModelCheckBox
      Left = 12
      Top = 84
      Width = 110
      Height = 24
      TabOrder = 3
      Caption = 'Active'
      AllowGrayed = True
      ModelSource.BaseModel = Find
      ModelSource.ItemName = 'active'
    end
    object CountryLabel: TLabel
      Left = 140
      Top = 64
      Width = 200
      Height = 18
      Caption = 'Country'
      FocusControl = CountryCombo
    end
    object CountryCombo: TzvDBModelLookupComboBox
      Left = 140
      Top = 84
      Width = 220
      Height = 26
      TabOrder = 4
      ListSource = CountriesSource
      KeyField = 'iso'
      ListField = 'country_name'
      DropDownRows = 10
      ModelSource.BaseModel = Find
      ModelSource.ItemName = 'country'
    end
    object RegionGroup: TzvDBModelRadioGroup
      Left = 620
      Top = 6
      Width = 180
      Height = 110
      TabOrder = 5
      Caption = 'Country, quickly'
      Items.Strings = (
        'Germany'
        'France'
        'Poland')
      Values.Strings = (
        'DE'
        'FR'
        'PL')
      ModelSource.BaseModel = Find
      ModelSource.ItemName = 'country'
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
