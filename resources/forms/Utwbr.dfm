object fTwBR: TfTwBR
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'BUTTRESS'
  ClientHeight = 280
  ClientWidth = 400
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
  object PageControl1: TPageControl
    Left = 8
    Top = 8
    Width = 384
    Height = 220
    ActivePage = tsw0
    TabOrder = 0
    object tsw0: TTabSheet
      Caption = '1. pitch'
      object lStep01: TLabel
        Left = 12
        Top = 8
        Width = 100
        Height = 15
        Caption = '1. pitch'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clWindowText
        Font.Height = -12
        Font.Name = 'Arial'
        Font.Style = [fsBold]
        ParentFont = False
      end
      object lStep02: TLabel
        Left = 122
        Top = 8
        Width = 100
        Height = 15
        Caption = '2. tolerance'
      end
      object mInstr0: TMemo
        Left = 12
        Top = 30
        Width = 340
        Height = 24
        TabStop = False
        Color = clBtnFace
        Lines.Strings = (
          'Select pitch in tpi')
        ReadOnly = True
        TabOrder = 0
      end
      object rM1: TRadioButton
        Left = 24
        Top = 62
        Width = 90
        Height = 19
        Caption = '1.0'
        TabOrder = 1
      end
      object rM2: TRadioButton
        Left = 24
        Top = 86
        Width = 90
        Height = 19
        Caption = '1.25'
        TabOrder = 2
      end
      object rM3: TRadioButton
        Left = 24
        Top = 110
        Width = 90
        Height = 19
        Caption = '1.5'
        TabOrder = 3
      end
      object rM4: TRadioButton
        Left = 24
        Top = 134
        Width = 90
        Height = 19
        Caption = '2.0'
        TabOrder = 4
      end
      object rM5: TRadioButton
        Left = 24
        Top = 158
        Width = 90
        Height = 19
        Caption = '2.5'
        TabOrder = 5
      end
      object rM6: TRadioButton
        Left = 134
        Top = 62
        Width = 90
        Height = 19
        Caption = '3.0'
        TabOrder = 6
      end
      object rM7: TRadioButton
        Left = 134
        Top = 86
        Width = 90
        Height = 19
        Caption = '4.0'
        TabOrder = 7
      end
      object rM8: TRadioButton
        Left = 134
        Top = 110
        Width = 90
        Height = 19
        Caption = '5.0'
        TabOrder = 8
      end
      object rM9: TRadioButton
        Left = 134
        Top = 134
        Width = 90
        Height = 19
        Caption = '6.0'
        TabOrder = 9
      end
      object rM10: TRadioButton
        Left = 134
        Top = 158
        Width = 90
        Height = 19
        Caption = '8.0'
        TabOrder = 10
      end
      object rM11: TRadioButton
        Left = 244
        Top = 62
        Width = 90
        Height = 19
        Caption = '10.0'
        TabOrder = 11
      end
      object rM12: TRadioButton
        Left = 244
        Top = 86
        Width = 90
        Height = 19
        Caption = '12.0'
        TabOrder = 12
      end
      object rM13: TRadioButton
        Left = 244
        Top = 110
        Width = 90
        Height = 19
        Caption = '16.0'
        TabOrder = 13
      end
      object rM14: TRadioButton
        Left = 244
        Top = 134
        Width = 90
        Height = 19
        Caption = '20.0'
        TabOrder = 14
      end
    end
    object tsw1: TTabSheet
      Caption = '2. tolerance'
      object lStep11: TLabel
        Left = 12
        Top = 8
        Width = 100
        Height = 15
        Caption = '1. pitch'
      end
      object lStep12: TLabel
        Left = 122
        Top = 8
        Width = 100
        Height = 15
        Caption = '2. tolerance'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clWindowText
        Font.Height = -12
        Font.Name = 'Arial'
        Font.Style = [fsBold]
        ParentFont = False
      end
      object mInstr1: TMemo
        Left = 12
        Top = 30
        Width = 340
        Height = 24
        TabStop = False
        Color = clBtnFace
        Lines.Strings = (
          'Select Tolerance')
        ReadOnly = True
        TabOrder = 0
      end
      object rD1: TRadioButton
        Left = 24
        Top = 62
        Width = 90
        Height = 19
        Caption = '2A'
        Checked = True
        TabOrder = 1
        TabStop = True
      end
      object rD2: TRadioButton
        Left = 24
        Top = 90
        Width = 90
        Height = 19
        Caption = '3A'
        TabOrder = 2
      end
    end
  end
  object bBack: TButton
    Left = 136
    Top = 243
    Width = 80
    Height = 25
    Caption = 'Back'
    TabOrder = 1
    OnClick = bBackClick
  end
  object bNext: TButton
    Left = 224
    Top = 243
    Width = 80
    Height = 25
    Caption = 'Next'
    Default = True
    TabOrder = 2
    OnClick = bNextClick
  end
  object bCancel: TButton
    Left = 312
    Top = 243
    Width = 80
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 3
  end
end
