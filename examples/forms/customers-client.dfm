object CustomersClient: TDataModule
  Height = 240
  Width = 360
  object Customers: TClientDataSet
    FileName = '../../build/run/customers.cds'
    IndexName = 'ByName'
    Active = True
  end
  object CustomersSource: TDataSource
    DataSet = Customers
  end
  object FilterCustomers: TzvClientFilterModel
    DataSource = CustomersSource
    Filtered = True
  end
end
