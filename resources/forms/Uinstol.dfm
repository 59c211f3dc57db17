object fInsTol: TfInsTol
  Left = 0
  Top = 0
  BorderIcons = []
  BorderStyle = bsDialog
  Caption = 'Tolerance'
  ClientHeight = 212
  ClientWidth = 340
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
    Left = 40
    Top = 40
    Width = 70
    Height = 15
    Caption = 'Tolerance'
  end
  object lSupInf: TLabel
    Left = 40
    Top = 76
    Width = 160
    Height = 15
    Caption = 'Piece Deviation'
  end
  object lTSup: TLabel
    Left = 40
    Top = 104
    Width = 70
    Height = 15
    Caption = 'Upper Dev.'
  end
  object lTInf: TLabel
    Left = 40
    Top = 136
    Width = 70
    Height = 15
    Caption = 'Lower Dev.'
  end
  object rToll: TRadioButton
    Left = 16
    Top = 12
    Width = 140
    Height = 19
    Caption = 'Tolerance'
    Checked = True
    TabOrder = 0
    TabStop = True
    OnClick = rTollClick
  end
  object eToll: TEdit
    Left = 124
    Top = 36
    Width = 80
    Height = 23
    TabOrder = 1
  end
  object cJprofile: TCheckBox
    Left = 220
    Top = 38
    Width = 100
    Height = 19
    Caption = 'profile J'
    TabOrder = 2
    Visible = False
  end
  object rSupInf: TRadioButton
    Left = 16
    Top = 74
    Width = 20
    Height = 19
    Enabled = False
    TabOrder = 3
    OnClick = rSupInfClick
  end
  object eTSup: TEdit
    Left = 124
    Top = 100
    Width = 80
    Height = 23
    Enabled = False
    TabOrder = 4
  end
  object eTInf: TEdit
    Left = 124
    Top = 132
    Width = 80
    Height = 23
    Enabled = False
    TabOrder = 5
  end
  object pSupInf: TPanel
    Left = 220
    Top = 98
    Width = 100
    Height = 60
    BevelOuter = bvLowered
    TabOrder = 6
    Visible = False
    object rSupInfmicron: TRadioButton
      Left = 10
      Top = 8
      Width = 80
      Height = 19
      Caption = #181'm'
      Checked = True
      TabOrder = 0
      TabStop = True
    end
    object rSupInfmm: TRadioButton
      Left = 10
      Top = 32
      Width = 80
      Height = 19
      Caption = 'mm'
      TabOrder = 1
    end
  end
  object bOk: TButton
    Left = 156
    Top = 174
    Width = 80
    Height = 25
    Caption = 'Next'
    Default = True
    TabOrder = 7
    OnClick = bOkClick
  end
  object bCancel: TButton
    Left = 244
    Top = 174
    Width = 80
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 8
  end
end
