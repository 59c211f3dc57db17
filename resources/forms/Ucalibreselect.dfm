object fCalibreSelect: TfCalibreSelect
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Select gage'
  ClientHeight = 600
  ClientWidth = 800
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnHide = FormHide
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object pGroups: TPanel
    Left = 0
    Top = 0
    Width = 400
    Height = 600
    BevelOuter = bvNone
    Color = clWhite
    TabOrder = 0
    object bType1: TSpeedButton
      Left = 7
      Top = 7
      Width = 62
      Height = 60
      Cursor = crHandPoint
      OnClick = bType1Click
    end
    object bType2: TSpeedButton
      Left = 7
      Top = 71
      Width = 62
      Height = 60
      Cursor = crHandPoint
      OnClick = bType1Click
    end
    object lType1: TLabel
      Left = 76
      Top = 27
      Width = 312
      Height = 20
      Cursor = crHandPoint
      AutoSize = False
      Caption = 'Description 1'
      Color = clBtnFace
      Layout = tlCenter
      OnClick = bType1Click
    end
    object lType2: TLabel
      Left = 76
      Top = 91
      Width = 312
      Height = 20
      Cursor = crHandPoint
      AutoSize = False
      Caption = 'Description X'
      Color = clWhite
      Layout = tlCenter
      OnClick = bType1Click
    end
    object Image1: TImage
      Left = 330
      Top = 8
      Width = 56
      Height = 56
      Visible = False
    end
    object cTolUsa: TCheckBox
      Left = 7
      Top = 566
      Width = 380
      Height = 19
      Caption = 'Metric tolerances calculated according to ANSI rules'
      Color = clWhite
      TabOrder = 0
      Visible = False
    end
  end
  object pTypes: TPanel
    Left = 400
    Top = 0
    Width = 400
    Height = 600
    BevelOuter = bvNone
    TabOrder = 1
    object bCal1: TButton
      Left = 13
      Top = 7
      Width = 364
      Height = 22
      Caption = 'bCal1'
      TabOrder = 0
      OnClick = bCal1Click
    end
    object bCal2: TButton
      Left = 13
      Top = 35
      Width = 364
      Height = 22
      Caption = 'bCal2'
      TabOrder = 1
      OnClick = bCal1Click
    end
    object lNormLabel: TLabel
      Left = 13
      Top = 524
      Width = 364
      Height = 19
      AutoSize = False
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clNavy
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object bCancel: TButton
      Left = 302
      Top = 562
      Width = 75
      Height = 25
      Cancel = True
      Caption = '&Cancel'
      ModalResult = 2
      TabOrder = 2
    end
  end
  object ILISO: TImageList
    Height = 56
    Width = 56
  end
  object ILANSIASME: TImageList
    Height = 56
    Width = 56
  end
  object ILSCA: TImageList
    Height = 56
    Width = 56
  end
  object ILSpecial: TImageList
    Height = 56
    Width = 56
  end
  object ILGAS: TImageList
    Height = 56
    Width = 56
  end
  object ILBUTTRESS: TImageList
    Height = 56
    Width = 56
  end
  object ILWhitworth: TImageList
    Height = 56
    Width = 56
  end
end
