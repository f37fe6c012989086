object CustomersFind: TDataModule
  Height = 240
  Width = 360
  object Database: TDatabase
    DatabaseName = '../../build/run/sample.db'
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
  object FindCustomers: TzvBdeFindModel
    DataSource = CustomersSource
    MessageOptions.ShowMessage = True
  end
end
