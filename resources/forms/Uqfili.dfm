object fQfili: TfQfili
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Tolerances OVER WIRE'
  ClientHeight = 136
  ClientWidth = 316
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
  object lUpper: TLabel
    Left = 68
    Top = 12
    Caption = 'upper tol'
  end
  object lLower: TLabel
    Left = 188
    Top = 12
    Caption = 'lower tol'
  end
  object lTP: TLabel
    Left = 12
    Top = 38
    Caption = 'Go'
  end
  object lTNP: TLabel
    Left = 12
    Top = 68
    Caption = 'No-go'
  end
  object eTsupP: TEdit
    Left = 68
    Top = 34
    Width = 112
    Height = 23
    ReadOnly = True
    TabOrder = 0
  end
  object eTinfP: TEdit
    Left = 188
    Top = 34
    Width = 112
    Height = 23
    ReadOnly = True
    TabOrder = 1
  end
  object eTsupNP: TEdit
    Left = 68
    Top = 64
    Width = 112
    Height = 23
    ReadOnly = True
    TabOrder = 2
  end
  object eTinfNP: TEdit
    Left = 188
    Top = 64
    Width = 112
    Height = 23
    ReadOnly = True
    TabOrder = 3
  end
  object bOk: TButton
    Left = 114
    Top = 100
    Width = 88
    Height = 27
    Cancel = True
    Caption = 'OK'
    Default = True
    ModalResult = 1
    TabOrder = 4
  end
end
