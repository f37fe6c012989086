object CustomersFilter: TDataModule
  Height = 240
  Width = 360
  object Database: TDatabase
    DatabaseName = '../../build/run/sample.db'
  end
  object Customers: TQuery
    DatabaseName = '../../build/run/sample.db'
    SQL.Strings = (
      'SELECT c.id, c.name, c.city, k.country_name, c.birth, c.balance'
      'FROM customers c LEFT JOIN countries k ON k.iso = c.country'
      'WHERE c.active = 1'
      'ORDER BY c.name, c.id')
    Active = True
  end
  object CustomersSource: TDataSource
    DataSet = Customers
  end
  object FilterCustomers: TzvBdeFilterModel
    DataSource = CustomersSource
    Filtered = True
  end
end
