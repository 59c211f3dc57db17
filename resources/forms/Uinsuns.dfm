object fInsUNS: TfInsUNS
  Left = 0
  Top = 0
  BorderIcons = []
  BorderStyle = bsDialog
  Caption = 'insert UNS'
  ClientHeight = 190
  ClientWidth = 300
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object Label1: TLabel
    Left = 16
    Top = 18
    Width = 110
    Height = 15
    Caption = 'Diameter (Inch) '
  end
  object Label2: TLabel
    Left = 16
    Top = 50
    Width = 110
    Height = 15
    Caption = 'Pitch (Tpi)'
  end
  object Label3: TLabel
    Left = 16
    Top = 84
    Width = 110
    Height = 15
    Caption = 'Tolerance'
  end
  object eDia: TEdit
    Left = 130
    Top = 14
    Width = 150
    Height = 23
    TabOrder = 0
  end
  object eStep: TEdit
    Left = 130
    Top = 46
    Width = 150
    Height = 23
    TabOrder = 1
  end
  object rT1: TRadioButton
    Left = 130
    Top = 84
    Width = 50
    Height = 19
    Caption = '1A'
    TabOrder = 2
  end
  object rT2: TRadioButton
    Left = 180
    Top = 84
    Width = 50
    Height = 19
    Caption = '2A'
    Checked = True
    TabOrder = 3
    TabStop = True
  end
  object rT3: TRadioButton
    Left = 230
    Top = 84
    Width = 50
    Height = 19
    Caption = '3A'
    TabOrder = 4
  end
  object bOk: TButton
    Left = 124
    Top = 150
    Width = 80
    Height = 25
    Caption = 'Next'
    Default = True
    ModalResult = 1
    TabOrder = 5
  end
  object bCancel: TButton
    Left = 212
    Top = 150
    Width = 80
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 6
  end
end
