object OrdersFilter: TDataModule
  Height = 240
  Width = 360
  object Database: TDatabase
    DatabaseName = '../../build/run/sample.db'
  end
  object Orders: TQuery
    DatabaseName = '../../build/run/sample.db'
    SQL.Strings = (
      'SELECT id, customer_id, ordered, amount, status, '#39'current'#39' AS kept'
      'FROM orders'
      'UNION ALL'
      'SELECT id, customer_id, ordered, amount, status, '#39'archive'#39
      'FROM orders_archive'
      'ORDER BY ordered DESC, id')
    Active = True
  end
  object OrdersSource: TDataSource
    DataSet = Orders
  end
  object FilterOrders: TzvBdeFilterModel
    DataSource = OrdersSource
    Filtered = True
    ItemsOption = ioCustom
    CompareItems = <
      item
        Name = 'customer'
        FieldName = 'customer_id'
      end
      item
        Name = 'ordered'
        FieldName = 'ordered'
      end
      item
        Name = 'amount'
        FieldName = 'amount'
      end
      item
        Name = 'status'
        FieldName = 'status'
      end>
  end
end
