object fNPDia: TfNPDia
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Select pipe size'
  ClientHeight = 236
  ClientWidth = 356
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnDestroy = FormDestroy
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object RadioButton1: TRadioButton
    Left = 16
    Top = 12
    Width = 76
    Height = 19
    Caption = 'RadioButton1'
    TabOrder = 0
    OnClick = RadioButtonNClick
  end
  object RadioButton2: TRadioButton
    Left = 16
    Top = 36
    Width = 76
    Height = 19
    Caption = 'RadioButton2'
    TabOrder = 1
    OnClick = RadioButtonNClick
  end
  object RadioButton3: TRadioButton
    Left = 16
    Top = 60
    Width = 76
    Height = 19
    Caption = 'RadioButton3'
    TabOrder = 2
    OnClick = RadioButtonNClick
  end
  object RadioButton4: TRadioButton
    Left = 16
    Top = 84
    Width = 76
    Height = 19
    Caption = 'RadioButton4'
    TabOrder = 3
    OnClick = RadioButtonNClick
  end
  object RadioButton5: TRadioButton
    Left = 16
    Top = 108
    Width = 76
    Height = 19
    Caption = 'RadioButton5'
    TabOrder = 4
    OnClick = RadioButtonNClick
  end
  object RadioButton6: TRadioButton
    Left = 16
    Top = 132
    Width = 76
    Height = 19
    Caption = 'RadioButton6'
    TabOrder = 5
    OnClick = RadioButtonNClick
  end
  object RadioButton7: TRadioButton
    Left = 100
    Top = 12
    Width = 76
    Height = 19
    Caption = 'RadioButton7'
    TabOrder = 6
    OnClick = RadioButtonNClick
  end
  object RadioButton8: TRadioButton
    Left = 100
    Top = 36
    Width = 76
    Height = 19
    Caption = 'RadioButton8'
    TabOrder = 7
    OnClick = RadioButtonNClick
  end
  object RadioButton9: TRadioButton
    Left = 100
    Top = 60
    Width = 76
    Height = 19
    Caption = 'RadioButton9'
    TabOrder = 8
    OnClick = RadioButtonNClick
  end
  object RadioButton10: TRadioButton
    Left = 100
    Top = 84
    Width = 76
    Height = 19
    Caption = 'RadioButton10'
    TabOrder = 9
    OnClick = RadioButtonNClick
  end
  object RadioButton11: TRadioButton
    Left = 100
    Top = 108
    Width = 76
    Height = 19
    Caption = 'RadioButton11'
    TabOrder = 10
    OnClick = RadioButtonNClick
  end
  object RadioButton12: TRadioButton
    Left = 100
    Top = 132
    Width = 76
    Height = 19
    Caption = 'RadioButton12'
    TabOrder = 11
    OnClick = RadioButtonNClick
  end
  object RadioButton13: TRadioButton
    Left = 184
    Top = 12
    Width = 76
    Height = 19
    Caption = 'RadioButton13'
    TabOrder = 12
    OnClick = RadioButtonNClick
  end
  object RadioButton14: TRadioButton
    Left = 184
    Top = 36
    Width = 76
    Height = 19
    Caption = 'RadioButton14'
    TabOrder = 13
    OnClick = RadioButtonNClick
  end
  object RadioButton15: TRadioButton
    Left = 184
    Top = 60
    Width = 76
    Height = 19
    Caption = 'RadioButton15'
    TabOrder = 14
    OnClick = RadioButtonNClick
  end
  object RadioButton16: TRadioButton
    Left = 184
    Top = 84
    Width = 76
    Height = 19
    Caption = 'RadioButton16'
    TabOrder = 15
    OnClick = RadioButtonNClick
  end
  object RadioButton17: TRadioButton
    Left = 184
    Top = 108
    Width = 76
    Height = 19
    Caption = 'RadioButton17'
    TabOrder = 16
    OnClick = RadioButtonNClick
  end
  object RadioButton18: TRadioButton
    Left = 184
    Top = 132
    Width = 76
    Height = 19
    Caption = 'RadioButton18'
    TabOrder = 17
    OnClick = RadioButtonNClick
  end
  object RadioButton19: TRadioButton
    Left = 268
    Top = 12
    Width = 76
    Height = 19
    Caption = 'RadioButton19'
    TabOrder = 18
    OnClick = RadioButtonNClick
  end
  object RadioButton20: TRadioButton
    Left = 268
    Top = 36
    Width = 76
    Height = 19
    Caption = 'RadioButton20'
    TabOrder = 19
    OnClick = RadioButtonNClick
  end
  object RadioButton21: TRadioButton
    Left = 268
    Top = 60
    Width = 76
    Height = 19
    Caption = 'RadioButton21'
    TabOrder = 20
    OnClick = RadioButtonNClick
  end
  object RadioButton22: TRadioButton
    Left = 268
    Top = 84
    Width = 76
    Height = 19
    Caption = 'RadioButton22'
    TabOrder = 21
    OnClick = RadioButtonNClick
  end
  object RadioButton23: TRadioButton
    Left = 268
    Top = 108
    Width = 76
    Height = 19
    Caption = 'RadioButton23'
    TabOrder = 22
    OnClick = RadioButtonNClick
  end
  object RadioButton24: TRadioButton
    Left = 268
    Top = 132
    Width = 76
    Height = 19
    Caption = 'RadioButton24'
    TabOrder = 23
    OnClick = RadioButtonNClick
  end
  object cTruncrest: TCheckBox
    Left = 16
    Top = 164
    Width = 200
    Height = 19
    Caption = 'Truncate crests'
    TabOrder = 24
    Visible = False
  end
  object bOk: TButton
    Left = 180
    Top = 200
    Width = 75
    Height = 25
    Caption = '&Ok'
    Default = True
    ModalResult = 1
    TabOrder = 25
  end
  object bCancel: TButton
    Left = 265
    Top = 200
    Width = 75
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 26
  end
end
