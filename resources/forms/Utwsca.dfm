object fTwSCA: TfTwSCA
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Spline - DIN 5480'
  ClientHeight = 340
  ClientWidth = 480
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
    Width = 464
    Height = 280
    ActivePage = tsw0
    TabOrder = 0
    object tsw0: TTabSheet
      Caption = '1. module'
      object lStep01: TLabel
        Left = 12
        Top = 8
        Width = 100
        Height = 15
        Caption = '1. module'
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
        Caption = '2. diameter'
      end
      object lStep03: TLabel
        Left = 232
        Top = 8
        Width = 100
        Height = 15
        Caption = '3. tolerance'
      end
      object mInstr0: TMemo
        Left = 12
        Top = 30
        Width = 420
        Height = 24
        TabStop = False
        Color = clBtnFace
        Lines.Strings = (
          'Select Module (mm)')
        ReadOnly = True
        TabOrder = 0
      end
      object rM1: TRadioButton
        Left = 24
        Top = 62
        Width = 100
        Height = 19
        Caption = '0.6'
        TabOrder = 1
      end
      object rM2: TRadioButton
        Left = 24
        Top = 88
        Width = 100
        Height = 19
        Caption = '0.8'
        TabOrder = 2
      end
      object rM3: TRadioButton
        Left = 24
        Top = 114
        Width = 100
        Height = 19
        Caption = '1.0'
        TabOrder = 3
      end
      object rM4: TRadioButton
        Left = 24
        Top = 140
        Width = 100
        Height = 19
        Caption = '1.25'
        TabOrder = 4
      end
      object rM5: TRadioButton
        Left = 24
        Top = 166
        Width = 100
        Height = 19
        Caption = '1.5'
        TabOrder = 5
      end
      object rM6: TRadioButton
        Left = 144
        Top = 62
        Width = 100
        Height = 19
        Caption = '2.0'
        TabOrder = 6
      end
      object rM7: TRadioButton
        Left = 144
        Top = 88
        Width = 100
        Height = 19
        Caption = '2.5'
        TabOrder = 7
      end
      object rM8: TRadioButton
        Left = 144
        Top = 114
        Width = 100
        Height = 19
        Caption = '3.0'
        TabOrder = 8
      end
      object rM9: TRadioButton
        Left = 144
        Top = 140
        Width = 100
        Height = 19
        Caption = '4.0'
        TabOrder = 9
      end
      object rM10: TRadioButton
        Left = 144
        Top = 166
        Width = 100
        Height = 19
        Caption = '5.0'
        TabOrder = 10
      end
      object rM11: TRadioButton
        Left = 264
        Top = 62
        Width = 100
        Height = 19
        Caption = '6.0'
        TabOrder = 11
      end
      object rM12: TRadioButton
        Left = 264
        Top = 88
        Width = 100
        Height = 19
        Caption = '8.0'
        TabOrder = 12
      end
      object rM13: TRadioButton
        Left = 264
        Top = 114
        Width = 100
        Height = 19
        Caption = '10.0'
        TabOrder = 13
      end
      object rM14: TRadioButton
        Left = 264
        Top = 140
        Width = 100
        Height = 19
        Caption = '0.75'
        TabOrder = 14
      end
      object rM15: TRadioButton
        Left = 264
        Top = 166
        Width = 100
        Height = 19
        Caption = '1.75'
        TabOrder = 15
      end
    end
    object tsw1: TTabSheet
      Caption = '2. diameter'
      object lStep11: TLabel
        Left = 12
        Top = 8
        Width = 100
        Height = 15
        Caption = '1. module'
      end
      object lStep12: TLabel
        Left = 122
        Top = 8
        Width = 100
        Height = 15
        Caption = '2. diameter'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clWindowText
        Font.Height = -12
        Font.Name = 'Arial'
        Font.Style = [fsBold]
        ParentFont = False
      end
      object lStep13: TLabel
        Left = 232
        Top = 8
        Width = 100
        Height = 15
        Caption = '3. tolerance'
      end
      object mInstr1: TMemo
        Left = 12
        Top = 30
        Width = 420
        Height = 24
        TabStop = False
        Color = clBtnFace
        Lines.Strings = (
          'Select Diameter (mm)')
        ReadOnly = True
        TabOrder = 0
      end
      object rD1: TRadioButton
        Left = 24
        Top = 62
        Width = 120
        Height = 19
        Caption = ''
        Checked = True
        TabOrder = 1
        TabStop = True
        OnClick = rD1Click
      end
      object rD2: TRadioButton
        Left = 24
        Top = 90
        Width = 120
        Height = 19
        Caption = ''
        TabOrder = 2
        OnClick = rD1Click
      end
      object rD3: TRadioButton
        Left = 24
        Top = 118
        Width = 120
        Height = 19
        Caption = ''
        TabOrder = 3
        OnClick = rD1Click
      end
      object rD4: TRadioButton
        Left = 24
        Top = 146
        Width = 120
        Height = 19
        Caption = ''
        TabOrder = 4
        OnClick = rD1Click
      end
      object rD5: TRadioButton
        Left = 24
        Top = 174
        Width = 120
        Height = 19
        Caption = ''
        TabOrder = 5
        OnClick = rD1Click
      end
      object lDiameter: TListBox
        Left = 170
        Top = 62
        Width = 120
        Height = 150
        ItemHeight = 15
        TabOrder = 6
      end
    end
    object tsw2: TTabSheet
      Caption = '3. tolerance'
      object lStep21: TLabel
        Left = 12
        Top = 8
        Width = 100
        Height = 15
        Caption = '1. module'
      end
      object lStep22: TLabel
        Left = 122
        Top = 8
        Width = 100
        Height = 15
        Caption = '2. diameter'
      end
      object lStep23: TLabel
        Left = 232
        Top = 8
        Width = 100
        Height = 15
        Caption = '3. tolerance'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clWindowText
        Font.Height = -12
        Font.Name = 'Arial'
        Font.Style = [fsBold]
        ParentFont = False
      end
      object mInstr2: TMemo
        Left = 12
        Top = 30
        Width = 420
        Height = 24
        TabStop = False
        Color = clBtnFace
        Lines.Strings = (
          'Select Tolerance')
        ReadOnly = True
        TabOrder = 0
      end
      object gN1: TGroupBox
        Left = 12
        Top = 58
        Width = 130
        Height = 150
        Caption = 'Quality'
        TabOrder = 1
        object rN11: TRadioButton
          Left = 12
          Top = 20
          Width = 50
          Height = 19
          Caption = '4'
          TabOrder = 0
          OnClick = ToleranceClick
        end
        object rN12: TRadioButton
          Left = 12
          Top = 44
          Width = 50
          Height = 19
          Caption = '5'
          TabOrder = 1
          OnClick = ToleranceClick
        end
        object rN13: TRadioButton
          Left = 12
          Top = 68
          Width = 50
          Height = 19
          Caption = '6'
          TabOrder = 2
          OnClick = ToleranceClick
        end
        object rN14: TRadioButton
          Left = 12
          Top = 92
          Width = 50
          Height = 19
          Caption = '7'
          TabOrder = 3
          OnClick = ToleranceClick
        end
        object rN15: TRadioButton
          Left = 12
          Top = 116
          Width = 50
          Height = 19
          Caption = '8'
          TabOrder = 4
          OnClick = ToleranceClick
        end
        object rN16: TRadioButton
          Left = 68
          Top = 20
          Width = 50
          Height = 19
          Caption = '9'
          TabOrder = 5
          OnClick = ToleranceClick
        end
        object rN17: TRadioButton
          Left = 68
          Top = 44
          Width = 50
          Height = 19
          Caption = '10'
          TabOrder = 6
          OnClick = ToleranceClick
        end
        object rN18: TRadioButton
          Left = 68
          Top = 68
          Width = 50
          Height = 19
          Caption = '11'
          TabOrder = 7
          OnClick = ToleranceClick
        end
        object rN19: TRadioButton
          Left = 68
          Top = 92
          Width = 50
          Height = 19
          Caption = '12'
          TabOrder = 8
          OnClick = ToleranceClick
        end
      end
      object gA: TGroupBox
        Left = 150
        Top = 58
        Width = 160
        Height = 150
        Caption = 'Position'
        TabOrder = 2
        object rA1: TRadioButton
          Left = 12
          Top = 20
          Width = 60
          Height = 19
          Caption = 'rA1'
          TabOrder = 0
          OnClick = ToleranceClick
        end
        object rA2: TRadioButton
          Left = 12
          Top = 41
          Width = 60
          Height = 19
          Caption = 'rA2'
          TabOrder = 1
          OnClick = ToleranceClick
        end
        object rA3: TRadioButton
          Left = 12
          Top = 62
          Width = 60
          Height = 19
          Caption = 'rA3'
          TabOrder = 2
          OnClick = ToleranceClick
        end
        object rA4: TRadioButton
          Left = 12
          Top = 83
          Width = 60
          Height = 19
          Caption = 'rA4'
          TabOrder = 3
          OnClick = ToleranceClick
        end
        object rA5: TRadioButton
          Left = 12
          Top = 104
          Width = 60
          Height = 19
          Caption = 'rA5'
          TabOrder = 4
          OnClick = ToleranceClick
        end
        object rA6: TRadioButton
          Left = 12
          Top = 125
          Width = 60
          Height = 19
          Caption = 'rA6'
          TabOrder = 5
          OnClick = ToleranceClick
        end
        object rA7: TRadioButton
          Left = 82
          Top = 20
          Width = 60
          Height = 19
          Caption = 'rA7'
          TabOrder = 6
          OnClick = ToleranceClick
        end
        object rA8: TRadioButton
          Left = 82
          Top = 41
          Width = 60
          Height = 19
          Caption = 'rA8'
          TabOrder = 7
          OnClick = ToleranceClick
        end
        object rA9: TRadioButton
          Left = 82
          Top = 62
          Width = 60
          Height = 19
          Caption = 'rA9'
          TabOrder = 8
          OnClick = ToleranceClick
        end
        object rA10: TRadioButton
          Left = 82
          Top = 83
          Width = 60
          Height = 19
          Caption = 'rA10'
          TabOrder = 9
          OnClick = ToleranceClick
        end
        object rA11: TRadioButton
          Left = 82
          Top = 104
          Width = 60
          Height = 19
          Caption = 'rA11'
          TabOrder = 10
          OnClick = ToleranceClick
        end
      end
      object gN2: TGroupBox
        Left = 318
        Top = 58
        Width = 120
        Height = 150
        Caption = 'LQ'
        TabOrder = 3
        object rN21: TRadioButton
          Left = 12
          Top = 20
          Width = 50
          Height = 19
          Caption = '2'
          TabOrder = 0
        end
        object rN22: TRadioButton
          Left = 12
          Top = 44
          Width = 50
          Height = 19
          Caption = '3'
          TabOrder = 1
        end
        object rN23: TRadioButton
          Left = 12
          Top = 68
          Width = 50
          Height = 19
          Caption = '4'
          TabOrder = 2
        end
      end
    end
  end
  object bBack: TButton
    Left = 216
    Top = 303
    Width = 80
    Height = 25
    Caption = 'Back'
    TabOrder = 1
    OnClick = bBackClick
  end
  object bNext: TButton
    Left = 304
    Top = 303
    Width = 80
    Height = 25
    Caption = 'Next'
    Default = True
    TabOrder = 2
    OnClick = bNextClick
  end
  object bCancel: TButton
    Left = 392
    Top = 303
    Width = 80
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 3
  end
end
