object fFormsTest: TfFormsTest
  Left = 0
  Top = 0
  BorderStyle = bsDialog
  Caption = 'Forms test window'
  ClientHeight = 112
  ClientWidth = 260
  Position = poScreenCenter
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object lText: TLabel
    Left = 8
    Top = 8
    Width = 200
    Height = 13
    Caption = 'A window read from the program'#39's resources'
  end
  object eValue: TEdit
    Left = 8
    Top = 28
    Width = 121
    Height = 21
    TabOrder = 0
    Text = '2.5'
  end
  object bAsk: TButton
    Left = 8
    Top = 80
    Width = 75
    Height = 25
    Caption = '&Ask'
    TabOrder = 1
    OnClick = bAskClick
  end
  object bFail: TButton
    Left = 88
    Top = 80
    Width = 40
    Height = 25
    Caption = 'Fail'
    TabOrder = 2
    OnClick = bFailClick
  end
  object bOk: TButton
    Left = 132
    Top = 80
    Width = 60
    Height = 25
    Caption = 'OK'
    Default = True
    ModalResult = 1
    TabOrder = 3
  end
  object bCancel: TButton
    Left = 196
    Top = 80
    Width = 60
    Height = 25
    Cancel = True
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 4
  end
end
