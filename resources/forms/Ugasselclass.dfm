object fGasSelClass: TfGasSelClass
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Select class'
  ClientHeight = 108
  ClientWidth = 212
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
  object rClassA: TRadioButton
    Left = 24
    Top = 16
    Width = 120
    Height = 19
    Caption = 'Class A'
    Checked = True
    TabOrder = 0
    TabStop = True
  end
  object rClassB: TRadioButton
    Left = 24
    Top = 40
    Width = 120
    Height = 19
    Caption = 'Class B'
    TabOrder = 1
  end
  object bOk: TButton
    Left = 24
    Top = 72
    Width = 75
    Height = 25
    Caption = '&Ok'
    ModalResult = 1
    TabOrder = 2
  end
  object bCancel: TButton
    Left = 112
    Top = 72
    Width = 75
    Height = 25
    Caption = 'Cancel'
    ModalResult = 2
    TabOrder = 3
  end
end
