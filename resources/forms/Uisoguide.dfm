object fIsoguide: TfIsoguide
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'ISO-guide'
  ClientHeight = 491
  ClientWidth = 480
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 15
  object Label1: TLabel
    Left = 12
    Top = 10
    Width = 120
    Height = 15
    Caption = 'Unified gage list'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object Memo1: TMemo
    Left = 12
    Top = 32
    Width = 456
    Height = 408
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = 'Courier New'
    Font.Style = []
    Lines.Strings = (
      'Normal series                Fine series'
      ''
      'diameter    pitch            diameter     pitch'
      ''
      '    1.0          0.25                1.0           0.20'
      '    1.1          0.25                1.1           0.20'
      '    1.2          0.25                1.2           0.20'
      '    1.4          0.30                1.4           0.20'
      '    1.6          0.35                1.6           0.20'
      '    1.8          0.35                1.8           0.20'
      '    2.0          0.40                2.0           0.25'
      '    2.2          0.45                2.2           0.25'
      '    2.5          0.45                2.5           0.35'
      '    3.0          0.50                3.0           0.35'
      '    3.5          0.60                3.5           0.35'
      '    4.0          0.70                4.0           0.50'
      '    5.0          0.80                4.5           0.50'
      '    6.0          1.00                5.0           0.50'
      '    7.0          1.00                6.0           0.75'
      '    8.0          1.25                7.0           0.75'
      '   10.0          1.50                8.0           1.00'
      '   12.0          1.75               10.0           1.25'
      '   14.0          2.00               12.0           1.25'
      '   16.0          2.00               14.0           1.50'
      '   18.0          2.50               16.0           1.50'
      '   20.0          2.50               18.0           1.50'
      '   22.0          2.50               20.0           1.50'
      '   24.0          3.00               22.0           1.50'
      '   27.0          3.00               24.0           2.00'
      '   30.0          3.50               27.0           2.00'
      '   33.0          3.50               30.0           2.00'
      '   36.0          4.00               33.0           2.00'
      '   39.0          4.00'
      '   42.0          4.50'
      '   45.0          4.50'
      '   48.0          5.00'
      '   52.0          5.00'
      '   56.0          5.50'
      '   60.0          5.50'
      '   64.0          6.00'
      '   68.0          6.00')
    ParentFont = False
    ReadOnly = True
    ScrollBars = ssVertical
    TabOrder = 0
    WordWrap = False
  end
  object Button1: TButton
    Left = 196
    Top = 452
    Width = 88
    Height = 27
    Cancel = True
    Caption = 'Close'
    TabOrder = 1
    OnClick = Button1Click
  end
end
