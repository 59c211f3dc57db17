object fGaugeModule: TfGaugeModule
  Left = 0
  Top = 0
  Caption = 'Gauge module'
  ClientHeight = 80
  ClientWidth = 200
  object lTitle: TLabel
    Left = 8
    Top = 8
    Width = 120
    Height = 15
    Caption = 'Thread gauges'
  end
end
